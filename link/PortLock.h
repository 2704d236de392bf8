// A serial device marked as held by one station, so that no other program writes to the unit
// behind it: a second station, the window, or a terminal program that honours lock files.
//
// Two marks, as serial programs on Linux know them: an advisory lock (flock) on the open device,
// which the link's own open tests, and the UUCP lock file in /run/lock ("LCK..ttyACM0": the PID
// in ten characters and a line end, then the holder's name on a line of its own), which minicom,
// picocom and friends test. The lock file is left out where that folder may not be written; the
// advisory lock still keeps the configurator's own programs away. Linux only.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

class TPortLock {
 public:
  // Locks the device open as `fd` (at `path`) for `owner`, a station's name. Held() tells
  // whether it could: another process may hold the device's lock already.
  TPortLock(int fd, const std::string& path, const std::string& owner);
  ~TPortLock();  // removes its lock file; the advisory lock goes with the descriptor
  TPortLock(const TPortLock&) = delete;
  TPortLock& operator=(const TPortLock&) = delete;

  bool Held() const { return Locked; }
  // Locks the device open as `fd` (at `path`) instead: the unit came back as another device. A
  // lock file of the same name stays as it is, so that it is never missing meanwhile.
  void Follow(int fd, const std::string& path);

 private:
  std::string Owner;
  std::string LockFile;  // empty: none made
  bool Locked = false;
};

struct TPortOwner {
  pid_t Pid;
  std::string Name;  // the station's
};

// The live process whose lock file names itself the holder of `path`'s device, with the name it
// gave; none when no live one does.
std::optional<TPortOwner> FindPortOwner(const std::string& path);
