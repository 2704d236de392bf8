// A scanner's lines through a pipe or a terminal, and the worker's wait for its label: POSIX.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "station/Scans.h"

bool ScanningAvailable() { return true; }

bool TLineInput::Read() {
  // One read per call: the descriptor may be a blocking one, read only once poll said so.
  char buffer[4096];
  ssize_t n;
  while ((n = read(Fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  if (n < 0 && errno == EAGAIN) return true;
  if (n <= 0) {
    if (!Held.empty()) Lines.push_back(std::move(Held));
    Held.clear();
    return false;
  }
  Held.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = Held.find('\n')) != std::string::npos;) {
    std::string line = Held.substr(0, end);
    // A scanner set up for Windows ends its line with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(std::move(line));
    Held.erase(0, end + 1);
  }
  return true;
}

std::optional<std::string> WaitForLabel(TLineInput& input, int stopFd) {
  for (;;) {
    if (auto line = input.Next()) return line;
    pollfd fds[] = {{input.Descriptor(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (fds[1].revents & POLLIN) return std::nullopt;
    if (fds[0].revents && !input.Read()) return input.Next();
  }
}
