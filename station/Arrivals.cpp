// The station's ports: device events in, units out, and every handled unit held until it leaves.
#include "station/Arrivals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "link/DeviceWatch.h"
#include "link/PortHolder.h"
#include "link/PortLock.h"
#include "link/Text.h"
#include "service/PortStore.h"
#include "station/TerminalPerson.h"
#include "transfer/UnitSession.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a device that exists but may not be opened yet is tried: udev sets its group and
// mode a moment after the node appears.
constexpr auto kAccessGrace = 1s;
constexpr auto kRetryStep = 50ms;
// How often a busy port is tried again without news: a program that lets it go between our own
// attempt and the reading of its events is not told apart from that attempt.
constexpr std::chrono::milliseconds kBusyRetry = 1s;

enum class TPortPhase {
  Absent,  // no device, or one that could not be opened: awaiting one that appears
  ToProbe,
  Silent,     // opened but did not answer: left alone until it goes and comes back
  Busy,       // another program holds it: tried again when one lets a device go
  Held,       // a unit handled: held until it leaves
  NotSerial,  // a node that cannot be a serial line: said once, left alone until it changes
};

bool Exists(const std::string& path) {
  struct stat node {};
  return stat(path.c_str(), &node) == 0;
}

// A node that is there and is no character device (a regular file, a folder) is no serial line.
bool OtherThanDevice(const std::string& path) {
  struct stat node {};
  return stat(path.c_str(), &node) == 0 && !S_ISCHR(node.st_mode);
}

}  // namespace

struct TArrivals::TState {
  struct TPort {
    std::string Name, Path;
    TPortPhase Phase = TPortPhase::Absent;
    // The unit's device from its probe until it leaves: a descriptor of the link's own open, so
    // that the lock taken there outlives every close of the link meanwhile.
    int Held = -1;
    std::unique_ptr<TPortLock> Lock;  // on that device, naming this station
    std::optional<TDeviceIdentity> HeldDevice;
    std::string BusyText;  // what was said when it was last found busy
  };

  TUnitSession& Unit;
  TTerminalPerson& Person;
  int Stop;
  std::string Owner;  // the name a held port's lock gives
  std::function<bool()> Enough;
  std::chrono::milliseconds EnoughEvery{-1};
  std::function<void(const std::string&)> Left;
  std::function<void(const std::string&, const std::string&)> PortFailed;

  void SayPortFailed(const TPort& port, const std::string& why) {
    Person.Say(why);
    if (PortFailed) PortFailed(port.Name, why);
  }
  std::vector<TPort> Ports;
  std::unique_ptr<TDeviceWatch> Watch;
  // The settings store's folder: a port name given another device there (as the simulated
  // unit's --com does) is seen at once.
  int Settings = -1;

  TState(TUnitSession& unit, TTerminalPerson& person, int stop)
      : Unit(unit), Person(person), Stop(stop) {}
  ~TState() {
    if (Settings >= 0) close(Settings);
    for (TPort& port : Ports) Release(port);
  }

  // The unit's device is the one the link has open now: held, and locked in the station's name,
  // through a descriptor of the link's own, which keeps the link's lock when the link closes.
  void Hold(TPort& port) {
    const int fd = fcntl(static_cast<int>(Unit.Link.PortHandle), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    if (port.Lock)
      port.Lock->Follow(fd, port.Path);
    else
      port.Lock = std::make_unique<TPortLock>(fd, port.Path, Owner);
    if (port.Held >= 0) close(port.Held);
    port.Held = fd;
    port.HeldDevice = Unit.Link.OpenedDevice;
  }

  void Release(TPort& port) {
    port.Lock.reset();
    if (port.Held >= 0) close(port.Held);
    port.Held = -1;
    port.HeldDevice.reset();
  }

  void Leave(TPort& port) {
    Release(port);
    if (Left)
      Left(port.Name);
    else
      Person.Say(port.Name + ": блок отключён");
    // Whatever is there now came after the unit: a unit plugged in at once is the next one.
    port.Phase = Exists(port.Path) ? TPortPhase::ToProbe : TPortPhase::Absent;
  }

  void Apply(const TDeviceWatch::TEvent& event) {
    TPort& port = Ports[event.Index];
    switch (event.Change) {
      case TDeviceWatch::TChange::Gone:
        if (port.Phase == TPortPhase::Held)
          Leave(port);
        else
          port.Phase = TPortPhase::Absent;
        break;
      case TDeviceWatch::TChange::Appeared:
        // A new device where a unit is held: the held one went, unseen.
        if (port.Phase == TPortPhase::Held) Leave(port);
        port.Phase = TPortPhase::ToProbe;
        break;
      case TDeviceWatch::TChange::Released:
        if (port.Phase == TPortPhase::Busy) port.Phase = TPortPhase::ToProbe;
        break;
    }
  }

  // Applies what the watcher reports; for `except`, only what `keep` lets through.
  void TakeEvents(const TPort* except = nullptr,
                  bool (*keep)(const TDeviceWatch::TEvent&) = nullptr) {
    for (const auto& event : Watch->TakeEvents())
      if (&Ports[event.Index] != except || (keep && keep(event))) Apply(event);
  }

  void WatchPorts() {
    std::vector<std::string> paths;
    for (const TPort& port : Ports) paths.push_back(port.Path);
    Watch = std::make_unique<TDeviceWatch>(paths);
  }

  // Ports whose name now leads to another device: watched there from now on, and probed when a
  // device is there.
  void Rebind() {
    bool moved = false;
    for (TPort& port : Ports) {
      std::string path = Unit.Link.Resolver(port.Name);
      if (path == port.Path) continue;
      port.Path = std::move(path);
      moved = true;
      if (port.Phase != TPortPhase::Held)
        port.Phase = Exists(port.Path) ? TPortPhase::ToProbe : TPortPhase::Absent;
    }
    if (moved) WatchPorts();
  }

  // Said at once: waiting on it would be waiting for ever.
  void NotSerial(TPort& port) {
    SayPortFailed(port, port.Name + " (" + port.Path + "): не последовательный порт");
    port.Phase = TPortPhase::NotSerial;
  }

  // Opens `port` on the form's link; false (its phase set) when that cannot be done now.
  bool Open(TPort& port) {
    if (OtherThanDevice(port.Path)) {
      NotSerial(port);
      return false;
    }
    const auto grace = TClock::now() + kAccessGrace;
    for (;;) {
      const std::string failure = Unit.Link.OpenPort(port.Name);
      if (failure.empty()) return true;
      Unit.Link.ClosePort();  // an open that failed half-way still holds the device
      const int error = Unit.Link.LastError();
      // A device that is no terminal (/dev/null), or a folder.
      if (error == ENOTTY || error == EISDIR) {
        NotSerial(port);
        return false;
      }
      if (error == EBUSY) {
        if (failure != port.BusyText) SayPortFailed(port, failure);
        port.BusyText = failure;
        port.Phase = TPortPhase::Busy;
        // Our own attempt opened the device and closed it again: that is no program letting it
        // go, or a busy port would be tried without end.
        TakeEvents(&port, [](const TDeviceWatch::TEvent& e) {
          return e.Change != TDeviceWatch::TChange::Released;
        });
        return false;
      }
      // Not accessible yet (udev sets the group a moment after the node appears) or not ready
      // yet (a terminal still locked): tried again for a moment, on its next change or soon.
      const bool early = error == EACCES || error == EIO || error == ENXIO;
      if (!early || TClock::now() >= grace) {
        if (early) SayPortFailed(port, failure);
        port.Phase = early ? TPortPhase::Silent : TPortPhase::Absent;
        return false;
      }
      Watch->Wait(std::min(grace, TClock::now() + kRetryStep));
      // The change may be the mode of this very device; a departure ends the attempt.
      TakeEvents();
      if (port.Phase != TPortPhase::ToProbe) return false;
    }
  }

  // One "#V" to a device that just appeared (or was there at the start).
  std::optional<TUnit> Probe(TPort& port) {
    port.Phase = TPortPhase::ToProbe;
    if (!Open(port)) return std::nullopt;
    // Held from the first question: a unit is never left to another program in between.
    Hold(port);
    std::string version;
    try {
      version = Unit.Link.ReadVersion(1);
    } catch (const std::exception&) {
      // Not a unit, or not one that answers as a unit.
    }
    port.BusyText.clear();
    if (version.empty()) {
      Release(port);
      Unit.Link.ClosePort();
      port.Phase = TPortPhase::Silent;
      return std::nullopt;
    }
    return TUnit{port.Name, port.Path, Cp1251ToUtf8(version)};
  }

  // Waits for anything: a stop, a device event, a held unit hanging up. False on a stop.
  bool Wait() {
    std::vector<pollfd> fds = {
        {Stop, POLLIN, 0}, {Watch->Descriptor(), POLLIN, 0}, {Settings, POLLIN, 0}};
    // No input is asked for: only a hang-up (or an error) wakes the station on a held port.
    for (const TPort& port : Ports) fds.push_back({port.Held, 0, 0});
    const bool busy = std::any_of(Ports.begin(), Ports.end(),
                                  [](const TPort& port) { return port.Phase == TPortPhase::Busy; });
    auto timeout = EnoughEvery;
    if (busy && (timeout.count() < 0 || timeout > kBusyRetry)) timeout = kBusyRetry;
    int ready;
    while ((ready = poll(fds.data(), fds.size(), static_cast<int>(timeout.count()))) < 0)
      if (errno != EINTR) throw std::runtime_error("poll");
    if (fds[0].revents || (ready == 0 && Enough && Enough())) return false;
    if (ready == 0)
      for (TPort& port : Ports)
        if (port.Phase == TPortPhase::Busy) port.Phase = TPortPhase::ToProbe;
    for (std::size_t i = 0; i < Ports.size(); ++i)
      if (fds[i + 3].revents) Leave(Ports[i]);
    if (fds[1].revents) TakeEvents();
    if (fds[2].revents) {
      char events[4096];
      while (read(Settings, events, sizeof events) > 0) {
      }
      Rebind();
    }
    return true;
  }
};

TArrivals::TArrivals(TUnitSession& unit, TTerminalPerson& person,
                     const std::vector<std::string>& ports, int stopDescriptor)
    : State(std::make_unique<TState>(unit, person, stopDescriptor)) {
  for (const std::string& name : ports)
    State->Ports.push_back({name, unit.Link.Resolver(name), TPortPhase::Absent, -1, {}, {}, {}});
  State->WatchPorts();
  const std::string settings = SettingsFileName();
  const std::string folder = settings.substr(0, settings.find_last_of('/'));
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  State->Settings = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (State->Settings >= 0)
    inotify_add_watch(State->Settings, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
  if (!State->Watch->UsesUdev())
    person.Say("udev не запущен: устройства отслеживаются только по их папкам (inotify)");
  // A node that is no device is never reported present; it is tried, so as to be said.
  for (std::size_t i = 0; i < ports.size(); ++i)
    if (State->Watch->Present(i) || OtherThanDevice(State->Ports[i].Path))
      State->Ports[i].Phase = TPortPhase::ToProbe;
}

TArrivals::~TArrivals() = default;

void TArrivals::EndWhen(std::function<bool()> enough, std::chrono::milliseconds every) {
  State->Enough = std::move(enough);
  State->EnoughEvery = every;
}

void TArrivals::HoldAs(const std::string& owner) { State->Owner = owner; }

void TArrivals::OnLeft(std::function<void(const std::string&)> told) {
  State->Left = std::move(told);
}

void TArrivals::OnPortFailed(std::function<void(const std::string&, const std::string&)> told) {
  State->PortFailed = std::move(told);
}

std::optional<TUnit> TArrivals::WaitForUnit() {
  for (;;) {
    for (auto& port : State->Ports)
      if (port.Phase == TPortPhase::ToProbe)
        if (auto unit = State->Probe(port)) return unit;
    if (!AnyPort() || !State->Wait()) return std::nullopt;
  }
}

bool TArrivals::AnyPort() const {
  return std::any_of(State->Ports.begin(), State->Ports.end(),
                     [](const TState::TPort& port) { return port.Phase != TPortPhase::NotSerial; });
}

void TArrivals::Follow(const TUnit& unit) {
  if (State->Unit.Link.PortHandle == kClosedPort) return;
  for (auto& port : State->Ports)
    if (port.Name == unit.Port && State->Unit.Link.OpenedDevice != port.HeldDevice)
      State->Hold(port);
}

void TArrivals::Handled(const TUnit& unit) {
  State->Unit.Link.ClosePort();
  for (auto& port : State->Ports) {
    if (port.Name != unit.Port) continue;
    // What the write itself went through (a restart that dropped the unit off the bus) is no
    // news; the device the write ended on tells whether the unit is still there.
    State->TakeEvents(&port);
    port.Phase = TPortPhase::Held;
    // Held on, locked, so that nothing else writes to the unit (another station, the window):
    // they are told who holds it. Never read: what the unit sends is left alone.
    const auto now = DeviceIdentityOf(port.Path);
    // Gone, or swapped for another unit, since the write.
    if (port.Held < 0 || !now || now != port.HeldDevice) State->Leave(port);
  }
}

void TArrivals::Release(const TUnit& unit) {
  State->Unit.Link.ClosePort();
  for (auto& port : State->Ports)
    if (port.Name == unit.Port) State->Release(port);
}
