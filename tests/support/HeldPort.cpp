#include "tests/support/HeldPort.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "link/SerialPort.h"

THeldPort::THeldPort(const std::string& path) {
  int ready[2], hold[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (pipe2(hold, O_CLOEXEC) != 0) {
    close(ready[0]);
    close(ready[1]);
    throw std::runtime_error("pipe");
  }
  Child = fork();
  if (Child == 0) {
    close(hold[1]);
    close(ready[0]);
    const int fd = SerialPort::OpenDevice(path);
    const char held = fd >= 0 ? 'y' : 'n';
    (void)!write(ready[1], &held, 1);
    char c;
    (void)!read(hold[0], &c, 1);  // until the parent closes its end
    SerialPort::CloseDevice(fd);
    _exit(0);
  }
  close(ready[1]);
  close(hold[0]);
  Hold = hold[1];
  char held = 'n';
  const bool told = Child > 0 && read(ready[0], &held, 1) == 1;
  close(ready[0]);
  if (!told || held != 'y') {
    Release();
    throw std::runtime_error("THeldPort: could not hold " + path);
  }
}

THeldPort::~THeldPort() { Release(); }

void THeldPort::Release() {
  if (Hold >= 0) close(Hold);
  Hold = -1;
  if (Child > 0)
    while (waitpid(Child, nullptr, 0) < 0 && errno == EINTR) {
    }
  Child = -1;
}
