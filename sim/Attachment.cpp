// The simulated unit's terminal, link and port name.
#include "sim/Attachment.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QSettings>
#include <cstdio>
#include <cstdlib>

#include "link/PortCatalogue.h"
#include "sim/Options.h"

void TFd::Reset(int fd) {
  if (Fd >= 0) close(Fd);
  Fd = fd;
}

TPty::TPty() {
  int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0) FailErrno("posix_openpt");
  Master.Reset(m);
  if (grantpt(m) != 0 || unlockpt(m) != 0) FailErrno("grantpt/unlockpt");
  const char* name = ptsname(m);
  if (!name) FailErrno("ptsname");
  Path = name;
  fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
  int s = open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (s < 0) FailErrno("не удалось открыть " + Path);
  Slave.Reset(s);
  // Raw from the start: an echoing terminal would send every answer back as a command.
  termios t{};
  if (tcgetattr(s, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(s, TCSANOW, &t);
  }
}

void TPty::Close() {
  Slave.Reset();
  Master.Reset();
}

TSymlink::TSymlink(const std::string& link, const std::string& target) : Link(link) {
  if (Link.empty()) return;
  struct stat st {};
  if (lstat(Link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(Link.c_str());
  if (symlink(target.c_str(), Link.c_str()) != 0) FailErrno("не удалось создать ссылку " + Link);
}

TSymlink::~TSymlink() {
  if (!Link.empty()) unlink(Link.c_str());
}

TPortRegistration::TPortRegistration(const std::string& name, const std::string& path)
    : Name(QString::fromStdString(name)) {
  if (name.empty()) return;
  QSettings settings(PortCatalogue::Organization, PortCatalogue::Application);
  settings.setValue(QString::fromStdString(PortCatalogue::DeviceKey(name)),
                    QString::fromStdString(path));
  settings.setValue(QString::fromStdString(PortCatalogue::SimulatedKey(name)),
                    static_cast<qint64>(getpid()));
  settings.sync();
  Active = true;
}

TPortRegistration::~TPortRegistration() {
  if (!Active) return;
  QSettings settings(PortCatalogue::Organization, PortCatalogue::Application);
  settings.remove(QString::fromStdString(PortCatalogue::DeviceKey(Name.toStdString())));
  settings.remove(QString::fromStdString(PortCatalogue::SimulatedKey(Name.toStdString())));
  settings.sync();
}

TAttachment::TAttachment(const TOptions& options)
    : Link(options.LinkPath, Pty.Path), Registration(options.ComName, Pty.Path) {
  std::printf("%s\n", Pty.Path.c_str());
  std::fflush(stdout);
}
