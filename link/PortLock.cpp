#include "link/PortLock.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>

namespace {

const char* const kLockFolder = "/run/lock";

// "/run/lock/LCK..ttyACM0" for the device behind `path`; "LCK..pts_5" for /dev/pts/5.
std::string LockFileOf(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return {};
  std::string name = resolved;
  if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
  for (char& c : name)
    if (c == '/') c = '_';
  return std::string(kLockFolder) + "/LCK.." + name;
}

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The PID and name a lock file holds; a PID of 0 when it holds none.
TPortOwner ReadLockFile(const std::string& file) {
  std::ifstream in(file);
  std::string pid, name;
  std::getline(in, pid);
  std::getline(in, name);
  const auto first = pid.find_first_not_of(' ');
  TPortOwner owner{0, name};
  if (first != std::string::npos)
    std::from_chars(pid.data() + first, pid.data() + pid.size(), owner.Pid);
  return owner;
}

// Makes the lock file for this process; false when a live process holds one. A file left by
// a process that is gone is stale and taken over.
bool MakeLockFile(const std::string& file, const std::string& owner) {
  char text[32];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  const std::string content = text + owner + "\n";
  for (int tries = 0; tries < 2; ++tries) {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      const bool written =
          write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
      close(fd);
      if (!written) unlink(file.c_str());
      return written;
    }
    if (errno != EEXIST) return true;  // no lock files here: the advisory lock alone
    if (Alive(ReadLockFile(file).Pid)) return false;
    unlink(file.c_str());
  }
  return false;
}

}  // namespace

TPortLock::TPortLock(int fd, const std::string& path, const std::string& owner) : Owner(owner) {
  Follow(fd, path);
}

TPortLock::~TPortLock() {
  if (!LockFile.empty() && ReadLockFile(LockFile).Pid == getpid()) unlink(LockFile.c_str());
}

void TPortLock::Follow(int fd, const std::string& path) {
  Locked = false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return;
  const std::string file = LockFileOf(path);
  if (file != LockFile) {
    if (!file.empty() && !MakeLockFile(file, Owner)) return;
    if (!LockFile.empty() && ReadLockFile(LockFile).Pid == getpid()) unlink(LockFile.c_str());
    LockFile = !file.empty() && access(file.c_str(), F_OK) == 0 ? file : std::string();
  }
  Locked = true;
}

std::optional<TPortOwner> FindPortOwner(const std::string& path) {
  const std::string file = LockFileOf(path);
  if (file.empty()) return std::nullopt;
  const TPortOwner owner = ReadLockFile(file);
  if (!Alive(owner.Pid) || owner.Name.empty()) return std::nullopt;
  return owner;
}
