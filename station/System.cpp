#include "station/System.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

bool ProcessEnded(long long pid) {
  return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

long long BootMs() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

std::string StateFolder() {
  const char* given = std::getenv("XDG_STATE_HOME");
  // A relative value is to be ignored, as the XDG base directories say.
  if (given && given[0] == '/') return std::string(given) + "/vestra";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/state/vestra";
}

std::string MissingDriverHint(bool postgres) {
  return postgres ? " (пакет libqt6sql6-psql)" : " (пакет libqt6sql6-sqlite)";
}

int TerminalColumns(std::FILE* out) {
  winsize size{};
  if (ioctl(fileno(out), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

TDurableFile::TDurableFile(const std::string& path, TOpen how) {
  constexpr int kFlags[] = {O_RDWR, O_RDWR | O_CREAT | O_EXCL, O_WRONLY | O_APPEND | O_CREAT};
  Handle = open(path.c_str(), kFlags[static_cast<int>(how)] | O_CLOEXEC, 0644);
}

TDurableFile::~TDurableFile() {
  if (Opened()) close(static_cast<int>(Handle));
}

bool TDurableFile::Lock(bool wait) {
  return flock(static_cast<int>(Handle), LOCK_EX | (wait ? 0 : LOCK_NB)) == 0;
}

bool TDurableFile::Reserve(std::size_t size) {
  const int error = posix_fallocate(static_cast<int>(Handle), 0, static_cast<off_t>(size));
  errno = error;
  return error == 0;
}

bool TDurableFile::WriteAt(const char* bytes, std::size_t size, std::size_t offset) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = pwrite(static_cast<int>(Handle), bytes + done, size - done,
                             static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool TDurableFile::Append(const std::string& bytes) {
  // O_APPEND: each piece lands at the end, whoever else appends.
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(static_cast<int>(Handle), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

long long TDurableFile::ReadAt(char* bytes, std::size_t size, std::size_t offset) {
  return pread(static_cast<int>(Handle), bytes, size, static_cast<off_t>(offset));
}

bool TDurableFile::Sync() {
  while (fsync(static_cast<int>(Handle)) != 0)
    if (errno != EINTR) return false;
  return true;
}

std::string LastSystemError() { return std::strerror(errno); }

void SyncFolder(const std::string& folder) {
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  fsync(dir);
  close(dir);
}
