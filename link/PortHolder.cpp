// Finding the program that holds a serial device, through /proc.
#include "link/PortHolder.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "link/PortLock.h"

namespace {

namespace fs = std::filesystem;

std::optional<pid_t> PidOf(const std::string& name) {
  pid_t pid = 0;
  auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return pid;
}

std::string ProgramOf(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool ProgramRuns(std::string_view program) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error))
    if (auto pid = PidOf(entry.path()); pid && ProgramOf(*pid) == program) return true;
  return false;
}

// The process holding the lock that programs like this one take on the device: among all that
// have it open (a terminal's far end, a parent that passed it on), that is the one in the way.
std::optional<pid_t> LockHolder(const struct stat& node) {
  char inode[64];
  std::snprintf(inode, sizeof inode, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                static_cast<unsigned long>(node.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, id;
    fields >> number >> kind >> mode >> access >> pid >> id;
    if (kind == "FLOCK" && id == inode) return PidOf(pid);
  }
  return std::nullopt;
}

}  // namespace

std::optional<TPortHolder> FindPortHolder(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat node {};
  if (!realpath(path.c_str(), resolved) || stat(resolved, &node) != 0) return std::nullopt;
  if (auto pid = LockHolder(node)) return TPortHolder{*pid, ProgramOf(*pid)};
  const fs::path device(resolved);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const auto pid = PidOf(entry.path());
    if (!pid || *pid == getpid()) continue;
    std::error_code hidden;  // another user's process, or one that just ended
    for (const auto& fd : fs::directory_iterator(entry.path() / "fd", hidden)) {
      std::error_code gone;
      if (fs::read_symlink(fd.path(), gone) == device) return TPortHolder{*pid, ProgramOf(*pid)};
    }
  }
  return std::nullopt;
}

std::string BusyPortText(const std::string& name, const std::string& path) {
  const std::string port = name + " (" + path + "): порт занят";
  if (auto station = FindPortOwner(path))
    return port + " станцией " + station->Name + ", PID " + std::to_string(station->Pid);
  if (auto holder = FindPortHolder(path))
    return port + " программой " + holder->Program + " (PID " + std::to_string(holder->Pid) + ")";
  if (ProgramRuns("ModemManager"))
    return port +
           ", вероятно, программой ModemManager: она проверяет каждое новое USB-устройство. "
           "Чтобы она не трогала блок, добавьте правило udev с ENV{ID_MM_DEVICE_IGNORE}=\"1\" "
           "(см. README) или остановите её: sudo systemctl stop ModemManager";
  return port + " другой программой";
}
