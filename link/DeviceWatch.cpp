// Device events from udev and inotify, turned into appeared/gone/released per watched path.
#include "link/DeviceWatch.h"

#include <libudev.h>
#include <limits.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>

namespace {

// Names coming or going in a folder; attributes (udev sets the group a moment after the node
// appears).
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// A device node itself: closed by whoever held it.
constexpr std::uint32_t kNodeEvents = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_ATTRIB;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool UdevDaemonRuns() { return access("/run/udev/control", F_OK) == 0; }

}  // namespace

std::optional<TDeviceIdentity> DeviceIdentityOf(const std::string& path) {
  struct stat link {
  }, node{};
  if (lstat(path.c_str(), &link) != 0 || stat(path.c_str(), &node) != 0) return std::nullopt;
  if (!S_ISCHR(node.st_mode)) return std::nullopt;
  return TDeviceIdentity{link.st_dev, node.st_rdev, link.st_ino, node.st_ino};
}

struct TDeviceWatch::TState {
  struct TWatched {
    std::string Path;
    std::string Target;  // the device node it led to when last seen
    std::optional<TDeviceIdentity> Identity;
    int NodeWatch = -1;
  };

  std::vector<std::string> Paths;
  std::vector<TWatched> Watched;
  int Epoll = -1, Inotify = -1;
  udev* Udev = nullptr;
  udev_monitor* Monitor = nullptr;
  std::map<int, std::string> Folders;  // watch -> folder

  ~TState() {
    if (Monitor) udev_monitor_unref(Monitor);
    if (Udev) udev_unref(Udev);
    if (Inotify >= 0) close(Inotify);
    if (Epoll >= 0) close(Epoll);
  }

  void Watch(std::string folder) {
    // A folder not there yet (/dev/serial before the first USB serial device) is awaited in the
    // nearest one that is.
    for (;;) {
      int wd = inotify_add_watch(Inotify, folder.c_str(), kFolderEvents);
      if (wd >= 0) {
        Folders[wd] = folder;
        return;
      }
      if (folder == "/" || (errno != ENOENT && errno != ENOTDIR)) return;
      folder = FolderOf(folder);
    }
  }

  void AddWatches() {
    for (TWatched& w : Watched) {
      Watch(FolderOf(w.Path));
      if (!w.Target.empty() && w.Target != w.Path) Watch(FolderOf(w.Target));
      if (w.NodeWatch < 0 && w.Identity)
        w.NodeWatch = inotify_add_watch(Inotify, w.Target.c_str(), kNodeEvents);
    }
  }

  void Look(TWatched& w) {
    w.Identity = DeviceIdentityOf(w.Path);
    if (w.Identity) w.Target = RealPath(w.Path);
  }

  // Folder + name of every node or link that came, went or was closed; devices udev reported.
  struct TTouched {
    std::set<std::string> Bounced, Closed;
    bool Lost = false;  // the queue overflowed: anything may have happened
  };

  void ReadInotify(TTouched& touched) {
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      ssize_t n = read(Inotify, buffer, sizeof buffer);
      if (n <= 0) return;
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        p += sizeof(inotify_event) + e->len;
        if (e->mask & IN_Q_OVERFLOW) touched.Lost = true;
        if (e->mask & IN_IGNORED) {
          Folders.erase(e->wd);
          for (TWatched& w : Watched)
            if (w.NodeWatch == e->wd) w.NodeWatch = -1;
          continue;
        }
        if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
          for (const TWatched& w : Watched)
            if (w.NodeWatch == e->wd) touched.Closed.insert(w.Target);
        auto folder = Folders.find(e->wd);
        if (folder == Folders.end() || e->len == 0) continue;
        const std::string path =
            (folder->second == "/" ? "" : folder->second) + "/" + std::string(e->name);
        if (e->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))
          touched.Bounced.insert(path);
      }
    }
  }

  void ReadUdev(TTouched& touched) {
    if (!Monitor) return;
    while (udev_device* device = udev_monitor_receive_device(Monitor)) {
      const char* action = udev_device_get_action(device);
      const char* node = udev_device_get_devnode(device);
      if (node && action && udev_device_get_is_initialized(device) &&
          (std::string_view(action) == "add" || std::string_view(action) == "remove"))
        touched.Bounced.insert(node);
      udev_device_unref(device);
    }
  }
};

TDeviceWatch::TDeviceWatch(std::vector<std::string> paths) : State(std::make_unique<TState>()) {
  TState& s = *State;
  s.Paths = std::move(paths);
  s.Epoll = epoll_create1(EPOLL_CLOEXEC);
  s.Inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (s.Epoll < 0 || s.Inotify < 0) return;  // no events: Descriptor never becomes readable
  epoll_event in{EPOLLIN, {.fd = s.Inotify}};
  epoll_ctl(s.Epoll, EPOLL_CTL_ADD, s.Inotify, &in);
  if (UdevDaemonRuns()) {
    s.Udev = udev_new();
    s.Monitor = s.Udev ? udev_monitor_new_from_netlink(s.Udev, "udev") : nullptr;
    if (s.Monitor &&
        udev_monitor_filter_add_match_subsystem_devtype(s.Monitor, "tty", nullptr) == 0 &&
        udev_monitor_enable_receiving(s.Monitor) == 0) {
      epoll_event ud{EPOLLIN, {.fd = udev_monitor_get_fd(s.Monitor)}};
      epoll_ctl(s.Epoll, EPOLL_CTL_ADD, ud.data.fd, &ud);
    } else if (s.Monitor) {
      udev_monitor_unref(s.Monitor);
      s.Monitor = nullptr;
    }
  }
  // Watches first, then the first look: nothing that happens in between is missed.
  for (const std::string& path : s.Paths) s.Watched.push_back({path, RealPath(path), {}, -1});
  s.AddWatches();
  for (auto& w : s.Watched) s.Look(w);
  s.AddWatches();
}

TDeviceWatch::~TDeviceWatch() = default;

const std::vector<std::string>& TDeviceWatch::Paths() const { return State->Paths; }

int TDeviceWatch::Descriptor() const { return State->Epoll; }

bool TDeviceWatch::UsesUdev() const { return State->Monitor != nullptr; }

bool TDeviceWatch::Present(std::size_t index) const {
  return State->Watched.at(index).Identity.has_value();
}

std::vector<TDeviceWatch::TEvent> TDeviceWatch::TakeEvents() {
  TState& s = *State;
  TState::TTouched touched;
  s.ReadInotify(touched);
  s.ReadUdev(touched);
  std::vector<TEvent> events;
  for (std::size_t i = 0; i < s.Watched.size(); ++i) {
    TState::TWatched& w = s.Watched[i];
    const auto before = w.Identity;
    const std::string oldTarget = w.Target;
    s.Look(w);
    const bool bounced = touched.Lost || touched.Bounced.count(w.Path) ||
                         (!oldTarget.empty() && touched.Bounced.count(oldTarget)) ||
                         (!w.Target.empty() && touched.Bounced.count(w.Target));
    const bool changed = before != w.Identity;
    if (before && (!w.Identity || changed || bounced)) events.push_back({i, TChange::Gone});
    if (w.Identity && (!before || changed || bounced)) {
      events.push_back({i, TChange::Appeared});
      if (w.NodeWatch >= 0) inotify_rm_watch(s.Inotify, w.NodeWatch);
      w.NodeWatch = -1;
    } else if (w.Identity && touched.Closed.count(w.Target)) {
      events.push_back({i, TChange::Released});
    }
  }
  s.AddWatches();
  return events;
}

bool TDeviceWatch::Wait(std::chrono::steady_clock::time_point deadline) const {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    pollfd p{State->Epoll, POLLIN, 0};
    int n = poll(&p, 1, left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0);
    if (n >= 0 || errno != EINTR) return n > 0;
  }
}

std::optional<TDeviceFacts> DescribeUsbDevice(const std::string& path) {
  struct stat node {};
  if (stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return std::nullopt;
  udev* u = udev_new();
  if (!u) return std::nullopt;
  std::optional<TDeviceFacts> facts;
  // sysfs answers even without a udev daemon; the by-path links exist only with one.
  if (udev_device* tty = udev_device_new_from_devnum(u, 'c', node.st_rdev)) {
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
      auto attribute = [usb](const char* name) {
        const char* value = udev_device_get_sysattr_value(usb, name);
        return std::string(value ? value : "");
      };
      facts = TDeviceFacts{attribute("idVendor"), attribute("idProduct"), attribute("serial"), {}};
      std::error_code error;
      const std::string real = RealPath(path);
      for (const auto& link : std::filesystem::directory_iterator("/dev/serial/by-path", error))
        if (RealPath(link.path().string()) == real) facts->ByPath = link.path().string();
    }
    udev_device_unref(tty);
  }
  udev_unref(u);
  return facts;
}

std::optional<TPortFacts> DescribePort(const std::string& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(path, error)) return std::nullopt;
  return TPortFacts{{}, DescribeUsbDevice(path)};
}
