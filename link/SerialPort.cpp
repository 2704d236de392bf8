// The serial device on POSIX termios.
#include "link/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace SerialPort {

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` until the deadline. Returns the revents, 0 on time-out, -1 on failure.
int WaitFor(int fd, short events, TClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, RemainingMs(deadline));
    if (n > 0) return p.revents;
    if (n == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

std::string DevicePathOf(int number) {
  const char* family = number <= 8 ? "/dev/ttyACM" : number <= 16 ? "/dev/ttyUSB" : "/dev/ttyS";
  return family + std::to_string((number - 1) % 8);
}

TPortHandle OpenDevice(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // TIOCEXCL keeps out other openers (not the superuser); the lock also covers those.
  if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
    CloseDevice(fd);
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int saved = errno == EWOULDBLOCK ? EBUSY : errno;
    CloseDevice(fd);
    errno = saved;
    return -1;
  }
  tcflush(fd, TCIOFLUSH);  // fails harmlessly on non-terminals
  return fd;
}

bool MakeRaw(TPortHandle port) {
  const int fd = static_cast<int>(port);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  speed_t in = cfgetispeed(&t), out = cfgetospeed(&t);
  cfmakeraw(&t);                  // 8 data bits, no parity, no XON/XOFF on the bytes received
  t.c_iflag &= ~(IXOFF | IXANY);  // nor on the bytes sent
  cfsetispeed(&t, in);
  cfsetospeed(&t, out);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  while (tcsetattr(fd, TCSANOW, &t) != 0)
    if (errno != EINTR) return false;
  return true;
}

bool RaiseDtr(TPortHandle port) {
  const int fd = static_cast<int>(port);
  int bits = TIOCM_DTR;
  if (ioctl(fd, TIOCMBIS, &bits) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

void CloseDevice(TPortHandle port) {
  if (port < 0) return;
  const int fd = static_cast<int>(port);
  int saved = errno;
  // The exclusive flag belongs to the device, not to this descriptor: clear it, or the next
  // program would find the device busy while anything else still holds it open.
  ioctl(fd, TIOCNXCL);
  close(fd);  // also drops the lock; not retried on EINTR, the descriptor is gone either way
  errno = saved;
}

int ReadByte(TPortHandle port, char& byte, int timeoutMs) {
  const int fd = static_cast<int>(port);
  if (port < 0) {
    errno = EBADF;
    return -1;
  }
  auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int revents = WaitFor(fd, POLLIN, deadline);
    if (revents < 0) return -1;
    if (revents == 0) return 0;
    if (revents & POLLNVAL) {
      errno = EBADF;
      return -1;
    }
    if (revents & POLLIN) {
      ssize_t n = read(fd, &byte, 1);
      if (n == 1) return 1;
      if (n == 0) {
        errno = EIO;  // end of file on a terminal: the line has gone
        return -1;
      }
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    // POLLHUP or POLLERR without data: a hang-up.
    errno = EIO;
    return -1;
  }
}

bool WriteAll(TPortHandle port, std::string_view bytes, int timeoutMs) {
  const int fd = static_cast<int>(port);
  if (port < 0) {
    errno = EBADF;
    return false;
  }
  auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    int revents = WaitFor(fd, POLLOUT, deadline);
    if (revents < 0) return false;
    if (revents == 0) {
      errno = ETIMEDOUT;
      return false;
    }
    if (revents & POLLNVAL) {
      errno = EBADF;
      return false;
    }
    if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLOUT)) {
      errno = EIO;
      return false;
    }
  }
  return true;
}

TSystemError LastError() { return static_cast<TSystemError>(errno); }

bool IsBusy(TSystemError error) { return error == EBUSY; }
bool IsMissing(TSystemError error) { return error == ENOENT || error == ENODEV || error == ENXIO; }
bool IsRefused(TSystemError error) { return error == EACCES || error == EPERM; }

std::string ErrorText(TSystemError error) {
  char buffer[256];
  // The GNU variant returns either `buffer` or a static text.
  return strerror_r(static_cast<int>(error), buffer, sizeof buffer);
}

}  // namespace SerialPort
