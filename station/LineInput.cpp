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

TLabelWait WaitForLabel(TLineInput& input, int stopFd, int unitFd) {
  for (;;) {
    if (auto line = input.Next()) return {std::move(line)};
    // The unit's port is watched only for its hang-up: what the unit says meanwhile stays for
    // the write, which drops it.
    pollfd fds[] = {{input.Descriptor(), POLLIN, 0}, {stopFd, POLLIN, 0}, {unitFd, 0, 0}};
    if (poll(fds, unitFd >= 0 ? 3 : 2, -1) < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (fds[1].revents & POLLIN) return {};
    if (unitFd >= 0 && (fds[2].revents & (POLLHUP | POLLERR))) return {std::nullopt, true};
    if (fds[0].revents && !input.Read()) return {input.Next()};
  }
}
