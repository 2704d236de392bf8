#include "cli/SlotClaims.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// The file locked for one read-and-append, released on every path.
class TLock {
 public:
  explicit TLock(int fd) : Fd(fd) {
    while (flock(Fd, LOCK_EX) != 0)
      if (errno != EINTR) throw std::runtime_error(std::string("flock: ") + std::strerror(errno));
  }
  ~TLock() { flock(Fd, LOCK_UN); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  int Fd;
};

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

TSlotClaims::TSlotClaims(const QString& path, std::set<int> doneBefore)
    : DoneBefore(std::move(doneBefore)) {
  const QByteArray name = QFile::encodeName(path);
  Fd = open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (Fd < 0)
    throw std::runtime_error("Не удалось открыть " + name.toStdString() + ": " +
                             std::strerror(errno));
}

TSlotClaims::~TSlotClaims() { close(Fd); }

TSlotClaims::TState TSlotClaims::Read() const {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(Fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  std::map<int, std::pair<std::string, pid_t>> last;  // row -> its last word and claimant
  std::istringstream lines(text);
  for (std::string word; lines >> word;) {
    int row = 0;
    pid_t pid = 0;
    lines >> row;
    if (word == "claim") lines >> pid;
    last[row] = {word, pid};
  }
  TState state;
  state.Done = DoneBefore;
  for (const auto& [row, what] : last) {
    if (what.first == "done") state.Done.insert(row);
    if (what.first == "claim" && Alive(what.second)) state.Claimed.insert(row);
  }
  return state;
}

void TSlotClaims::Append(const std::string& line) {
  const std::string text = line + "\n";
  // O_APPEND and one write under the lock: the line lands whole at the end.
  while (write(Fd, text.data(), text.size()) < 0)
    if (errno != EINTR) throw std::runtime_error(std::string("write: ") + std::strerror(errno));
}

std::optional<int> TSlotClaims::Claim(const std::vector<int>& rows, bool& allDone) {
  TLock lock(Fd);
  const TState state = Read();
  allDone = true;
  for (int row : rows) {
    if (state.Done.count(row)) continue;
    allDone = false;
    if (state.Claimed.count(row)) continue;
    Append("claim " + std::to_string(row) + " " + std::to_string(getpid()));
    return row;
  }
  return std::nullopt;
}

bool TSlotClaims::AllDone(const std::vector<int>& rows) {
  TLock lock(Fd);
  const TState state = Read();
  for (int row : rows)
    if (!state.Done.count(row)) return false;
  return true;
}

void TSlotClaims::Finish(int row, bool done) {
  TLock lock(Fd);
  Append((done ? "done " : "free ") + std::to_string(row));
}
