#include "tests/support/PortTaker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "link/SerialPort.h"

TPortTaker::TPortTaker(const std::string& path) {
  int running[2];
  if (pipe2(running, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  Child = fork();
  if (Child == 0) {
    // Only async-signal-safe calls: the test's process has threads.
    close(running[1]);
    pollfd end{running[0], POLLIN, 0};
    while (poll(&end, 1, 1) == 0) {
      const TPortHandle fd = SerialPort::OpenDevice(path);
      if (fd == kClosedPort) continue;
      SerialPort::WriteAll(fd, "TAKEN\r", 100);
      SerialPort::CloseDevice(fd);
    }
    _exit(0);
  }
  close(running[0]);
  Running = running[1];
  if (Child < 0) {
    close(Running);
    throw std::runtime_error("fork");
  }
}

TPortTaker::~TPortTaker() {
  close(Running);
  while (waitpid(Child, nullptr, 0) < 0 && errno == EINTR) {
  }
}
