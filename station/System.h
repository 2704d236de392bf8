// What the station asks of the system beyond Qt, the same on Linux (System.cpp) and Windows
// (SystemWindows.cpp): whether a process has ended, a clock that counts a sleeping computer's
// time, a terminal's width, and files written in place that reach the disk before the station
// goes on (the outcome journal, the log), with a lock that lasts while the station lives.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Whether process `pid` of this computer is known to have ended.
bool ProcessEnded(long long pid);
// Milliseconds since boot, suspended time included (a steady clock stops while a laptop sleeps,
// and a lease does not).
long long BootMs();
// The folder of the station's own state, in UTF-8: $XDG_STATE_HOME/vestra (by default
// ~/.local/state/vestra) on Linux, %LOCALAPPDATA%\Vestra on Windows.
std::string StateFolder();
// What follows "Нет драйвера базы данных QPSQL": where the driver comes from, or that there is
// none on this system yet.
std::string MissingDriverHint(bool postgres);
// The columns of the terminal `out` is; 80 when it tells none.
int TerminalColumns(std::FILE* out);

class TDurableFile {
 public:
  enum class TOpen {
    Existing,  // read and written in place
    New,       // made here; fails when the name is taken
    Append,    // made when missing; every write lands at its end
  };
  TDurableFile(const std::string& path, TOpen how);
  ~TDurableFile();
  TDurableFile(const TDurableFile&) = delete;
  TDurableFile& operator=(const TDurableFile&) = delete;

  bool Opened() const { return Handle != kNone; }
  // Locks the whole file for this process until it is closed; `wait`: until another lets go.
  bool Lock(bool wait);
  // Takes `size` bytes of room on the disk, so that writes within it never find the disk full.
  bool Reserve(std::size_t size);
  bool WriteAt(const char* bytes, std::size_t size, std::size_t offset);
  bool Append(const std::string& bytes);
  // The bytes read, up to `size`; -1 on failure.
  long long ReadAt(char* bytes, std::size_t size, std::size_t offset);
  // Waits until what was written is on the disk.
  bool Sync();

 private:
  static constexpr long long kNone = -1;
  long long Handle = kNone;  // a descriptor on Linux, a HANDLE on Windows
};

// The system's text of the last failure of a call above.
std::string LastSystemError();
// Puts the folder's entries (a file made, renamed or removed there) on the disk; nothing on
// Windows, whose file system keeps them with the file.
void SyncFolder(const std::string& folder);
