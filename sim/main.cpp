// vestra-sim: a simulated unit on a pseudo-terminal, for trying the configurator without a unit
// and for testing the link against real bytes. It prints the device path of its terminal on the
// first line of its output and serves until SIGTERM or SIGINT.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/Text.h"
#include "sim/Device.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kUsage = R"(Usage: vestra-sim [options]
A simulated Vestra unit on a pseudo-terminal. Prints the terminal's path on the first line, then
answers commands ending in CR (or LF, for typing by hand) until SIGTERM or SIGINT.
Try it by hand: socat - /dev/pts/N,raw,echo=0   then type #V and Enter.

  --link PATH           also make a symbolic link PATH to the terminal (removed on exit)
  --com NAME            register the terminal as port NAME (e.g. COM3) in the configurator's
                        settings (Ports/NAME), removed on exit
  --log FILE            append every command received to FILE, one per line, without its CR
  --firmware TEXT       firmware version (default 3.00); codes newer than it answer #ERR2
  --version-form short|named
                        version answer "#V 3.00" (short, default) or "#Vestra GSM/GPS v3.00"
  --set CODE=VALUE      start value of a device code (e.g. --set E01=1,0 --set M10=1)
  --error KEY=N         answer #ERR + N to KEY: a device code (read and write) or a command
                        V, T, P, WL00, S (e.g. --error M18=2 --error P=4); N may be any text
  --reply KEY=TEXT      answer exactly TEXT + CR to KEY (e.g. --reply T=#XYZ --reply V=#V)
  --keep CODE=VALUE     hold VALUE for CODE whatever "#W" writes to it (still answering #OK)
  --restart MS          after "#S" stay silent for MS milliseconds, dropping what arrives, as a
                        unit that restarts to store its settings
  --ack-save            answer "#OK" to "#S"
  --restart-after-save MS
                        after "#S" go on answering for 200 ms, then drop everything for MS
                        milliseconds, as a unit that restarts a moment after storing
  --reconnect MS        after "#S" hang up the terminal and remove its link and port name, then
                        after MS milliseconds come back on a new terminal under the same link and
                        name, keeping the stored values: a USB unit that drops off the bus
  --delay MS            answer each command MS milliseconds after it arrived
  --split MS            send each answer in two bursts, its second half MS milliseconds after
                        the first
  --silent              never answer
  --garbage             send junk bytes before and after each message
  --flood               send "$" messages without a pause, all the time
  --hangup-after N      close the terminal in the middle of the Nth answer
  --periodic MS         send a "$" message every MS milliseconds
  --baud N              pace the line at N baud (10 bits per byte): answers go out at that pace,
                        and a command counts as arrived once its bytes could have crossed
  --inject              also send whatever arrives on standard input to the terminal, unchanged
                        (tests use it to put chosen bytes on the line)
  --help                show this text
Texts given on the command line are UTF-8; the unit speaks Windows-1251.
)";

struct TOptions {
  std::string LinkPath, ComName, LogPath;
  int DelayMs = 0, RestartMs = 0, RestartAfterSaveMs = 0, ReconnectMs = -1;
  bool AckSave = false;
  int SplitMs = 0;
  bool Silent = false, Garbage = false, Flood = false, Inject = false;
  int HangupAfter = 0;
  int PeriodicMs = 0;
  long Baud = 0;
};

// A file descriptor that closes itself.
class TFd {
 public:
  explicit TFd(int fd = -1) : Fd(fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd; }
  void Reset(int fd = -1) {
    if (Fd >= 0) close(Fd);
    Fd = fd;
  }

 private:
  int Fd;
};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }
[[noreturn]] void FailErrno(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

std::string ToUnitText(const std::string& utf8) {
  auto text = Utf8ToCp1251(utf8);
  return text ? *text : utf8;
}

long ToNumber(const std::string& option, const std::string& text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0)
    Fail(option + " needs a whole number, not '" + text + "'");
  return value;
}

std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& text) {
  auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) Fail(option + " needs KEY=VALUE, not '" + text + "'");
  return {text.substr(0, eq), ToUnitText(text.substr(eq + 1))};
}

// Returns false when the program should only print its usage.
bool ParseArguments(int argc, char** argv, TOptions& options, TSimDevice& device) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) Fail(name + " needs a value");
      return args[++i];
    };
    if (name == "--help" || name == "-h") return false;
    if (name == "--link") {
      options.LinkPath = value();
    } else if (name == "--com") {
      options.ComName = value();
    } else if (name == "--log") {
      options.LogPath = value();
    } else if (name == "--firmware") {
      device.Firmware = ToUnitText(value());
    } else if (name == "--version-form") {
      std::string form = value();
      if (form == "short")
        device.VersionForm = TSimDevice::TVersionForm::Short;
      else if (form == "named")
        device.VersionForm = TSimDevice::TVersionForm::Named;
      else
        Fail("--version-form is short or named, not '" + form + "'");
    } else if (name == "--set") {
      auto [code, text] = SplitPair(name, value());
      device.Values[code] = text;
    } else if (name == "--error") {
      auto [key, text] = SplitPair(name, value());
      device.Errors[key] = text;
    } else if (name == "--reply") {
      auto [key, text] = SplitPair(name, value());
      device.Replies[key] = text;
    } else if (name == "--keep") {
      auto [code, text] = SplitPair(name, value());
      device.Values[code] = text;
      device.Kept.insert(code);
    } else if (name == "--restart") {
      options.RestartMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--ack-save") {
      options.AckSave = true;
    } else if (name == "--restart-after-save") {
      options.RestartAfterSaveMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--reconnect") {
      options.ReconnectMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--delay") {
      options.DelayMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--split") {
      options.SplitMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--silent") {
      options.Silent = true;
    } else if (name == "--garbage") {
      options.Garbage = true;
    } else if (name == "--inject") {
      options.Inject = true;
    } else if (name == "--flood") {
      options.Flood = true;
    } else if (name == "--hangup-after") {
      options.HangupAfter = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--periodic") {
      options.PeriodicMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--baud") {
      options.Baud = ToNumber(name, value());
    } else {
      Fail("unknown option '" + name + "' (see --help)");
    }
  }
  return true;
}

// The pseudo-terminal. The simulated unit keeps its own descriptor of the far end open, so
// that a program closing the port is not a hang-up for the unit and the next one finds it
// ready.
struct TPty {
  TFd Master, Slave;
  std::string Path;

  TPty() {
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) FailErrno("posix_openpt");
    Master.Reset(m);
    if (grantpt(m) != 0 || unlockpt(m) != 0) FailErrno("grantpt/unlockpt");
    const char* name = ptsname(m);
    if (!name) FailErrno("ptsname");
    Path = name;
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    int s = open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (s < 0) FailErrno("open " + Path);
    Slave.Reset(s);
    // Raw from the start: an echoing terminal would send every answer back as a command.
    termios t{};
    if (tcgetattr(s, &t) == 0) {
      cfmakeraw(&t);
      t.c_cflag |= CLOCAL | CREAD;
      tcsetattr(s, TCSANOW, &t);
    }
  }

  void Close() {
    Slave.Reset();
    Master.Reset();
  }
};

// The symbolic link of --link, removed again on exit.
class TSymlink {
 public:
  TSymlink(const std::string& link, const std::string& target) : Link(link) {
    if (Link.empty()) return;
    struct stat st {};
    if (lstat(Link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(Link.c_str());
    if (symlink(target.c_str(), Link.c_str()) != 0) FailErrno("symlink " + Link);
  }
  ~TSymlink() {
    if (!Link.empty()) unlink(Link.c_str());
  }
  TSymlink(const TSymlink&) = delete;
  TSymlink& operator=(const TSymlink&) = delete;

 private:
  std::string Link;
};

// The Ports/NAME entry of --com in the configurator's settings store, removed again on exit.
class TPortRegistration {
 public:
  TPortRegistration(const std::string& name, const std::string& path)
      : Key("Ports/" + QString::fromStdString(name)) {
    if (name.empty()) return;
    QSettings settings("Mirotan", "TindraSetup");
    settings.setValue(Key, QString::fromStdString(path));
    settings.sync();
    Active = true;
  }
  ~TPortRegistration() {
    if (!Active) return;
    QSettings settings("Mirotan", "TindraSetup");
    settings.remove(Key);
    settings.sync();
  }
  TPortRegistration(const TPortRegistration&) = delete;
  TPortRegistration& operator=(const TPortRegistration&) = delete;

 private:
  QString Key;
  bool Active = false;
};

// The unit as the system sees it: its terminal, the link to it and its port name, each printed
// path on a line of its own. A unit that drops off the bus loses all three and comes back with
// new ones.
struct TAttachment {
  TPty Pty;
  TSymlink Link;
  TPortRegistration Registration;

  explicit TAttachment(const TOptions& options)
      : Link(options.LinkPath, Pty.Path), Registration(options.ComName, Pty.Path) {
    std::printf("%s\n", Pty.Path.c_str());
    std::fflush(stdout);
  }
};

// The serving loop: commands in, answers out, with the chosen timing and misbehaviour.
class TServer {
 public:
  TServer(TOptions options, TSimDevice& device, int logFd, int signalFd)
      : Options(std::move(options)),
        Device(device),
        Attached(std::make_unique<TAttachment>(Options)),
        LogFd(logFd),
        SignalFd(signalFd) {}

  void Run() {
    auto periodic = std::chrono::milliseconds(Options.PeriodicMs);
    NextPeriodic = TClock::now() + periodic;
    for (;;) {
      auto now = TClock::now();
      while (!Pending.empty() && Pending.front().Due <= now) {
        TPendingAnswer answer = std::move(Pending.front());
        Pending.pop_front();
        if (!answer.SecondHalf)
          Emit(answer.Text, true);
        else if (LineUp())
          Out += answer.Text;
      }
      if (Options.PeriodicMs > 0 && now >= NextPeriodic) {
        if (Out.size() < 65536) Emit("$ALIVE," + std::to_string(++PeriodicCount) + "\r", false);
        NextPeriodic += periodic;
        if (NextPeriodic < now) NextPeriodic = now + periodic;
      }
      WriteSome(now);
      if (HangupArmed && Out.empty()) {
        // Let the first half of the answer reach the program before the line goes.
        if (!HangupAt)
          HangupAt = now + 30ms;
        else if (now >= *HangupAt)
          HangUp();
      }
      if (DetachArmed && Out.empty() && Pending.empty()) {
        // As above: what was answered reaches the program first.
        if (!DetachAt) {
          DetachAt = now + 30ms;
        } else if (now >= *DetachAt) {
          Attached.reset();
          DetachArmed = false;
          DetachAt.reset();
          ReattachAt = now + std::chrono::milliseconds(Options.ReconnectMs);
        }
      }
      if (ReattachAt && now >= *ReattachAt) {
        ReattachAt.reset();
        Attached = std::make_unique<TAttachment>(Options);
      }

      // Refilled before waiting, so that the wait is for room on the line.
      if (Options.Flood && Out.empty() && !Splitting())
        Emit("$FLOOD," + std::to_string(++FloodCount) + "\r", false);

      std::optional<TClock::time_point> wake;
      auto earliest = [&wake](TClock::time_point t) {
        if (!wake || t < *wake) wake = t;
      };
      if (!Pending.empty()) earliest(Pending.front().Due);
      if (Options.PeriodicMs > 0) earliest(NextPeriodic);
      if (HangupAt) earliest(*HangupAt);
      if (DetachAt) earliest(*DetachAt);
      if (ReattachAt) earliest(*ReattachAt);
      bool paced = Options.Baud > 0 && !Out.empty() && !LineIdle && NextByte + ByteTime() > now;
      if (paced) earliest(NextByte + ByteTime());

      pollfd fds[3] = {{SignalFd, POLLIN, 0},
                       {Master(), POLLIN, 0},
                       {Options.Inject ? STDIN_FILENO : -1, POLLIN, 0}};
      if (!Out.empty() && !paced) fds[1].events |= POLLOUT;
      timespec timeout{};
      timespec* timeoutPtr = nullptr;
      if (wake) {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - TClock::now());
        if (ns.count() < 0) ns = {};
        timeout.tv_sec = static_cast<time_t>(ns.count() / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns.count() % 1000000000);
        timeoutPtr = &timeout;
      }
      int n = ppoll(fds, 3, timeoutPtr, nullptr);
      if (n < 0 && errno != EINTR) FailErrno("ppoll");
      if (n <= 0) continue;
      if (fds[0].revents & POLLIN) return;
      if (fds[1].revents & POLLIN) ReadCommands();
      if (fds[2].revents) ReadInjected();
    }
  }

 private:
  struct TPendingAnswer {
    TClock::time_point Due;
    std::string Text;
    bool SecondHalf = false;  // the rest of a split answer, sent as it stands
  };

  TOptions Options;
  TSimDevice& Device;
  std::unique_ptr<TAttachment> Attached;  // none while the unit is off the bus
  int LogFd;
  int SignalFd;
  std::string Line;                    // a command still waiting for its CR
  std::deque<TPendingAnswer> Pending;  // answers waiting for their delay, in order
  std::string Out;                     // bytes ready to go, in order
  TClock::time_point NextPeriodic, NextByte, NextByteIn;
  int AnswerCount = 0, PeriodicCount = 0, FloodCount = 0;
  bool HangupArmed = false, LineIdle = true;
  std::optional<TClock::time_point> HangupAt;

  // --restart, --restart-after-save: silent from the first time until the second.
  std::optional<std::pair<TClock::time_point, TClock::time_point>> Restart;
  // --reconnect: off the bus once the answers are out, back on at `ReattachAt`.
  bool DetachArmed = false;
  std::optional<TClock::time_point> DetachAt, ReattachAt;

  int Master() const { return Attached ? Attached->Pty.Master.Get() : -1; }
  bool LineUp() const { return Master() >= 0 && !HangupArmed; }
  bool Restarting() const {
    const auto now = TClock::now();
    return Restart && now >= Restart->first && now < Restart->second;
  }

  // Whether the second half of an answer is still to go; nothing may come between the halves.
  bool Splitting() const { return !Pending.empty() && Pending.front().SecondHalf; }

  void Emit(const std::string& message, bool isAnswer) {
    if (!LineUp() || Restarting()) return;
    // An answer is never emitted while another is split (answers go out in order).
    std::string& line = Splitting() ? Pending.front().Text : Out;
    const char junk[] = "\x01\xff~noise\r\n";
    if (Options.Garbage) line += junk;
    if (isAnswer && Options.HangupAfter > 0 && ++AnswerCount == Options.HangupAfter) {
      line += message.substr(0, message.size() / 2);
      HangupArmed = true;
      return;
    }
    if (isAnswer && Options.SplitMs > 0) {
      line += message.substr(0, message.size() / 2);
      // Ahead of the answers still waiting, which must follow this one.
      Pending.push_front({TClock::now() + std::chrono::milliseconds(Options.SplitMs),
                          message.substr(message.size() / 2), true});
    } else {
      line += message;
    }
    if (Options.Garbage) (Splitting() ? Pending.front().Text : Out) += junk;
  }

  // On a paced line a byte reaches the program once its ten bits have crossed: `NextByte` is
  // when the next one starts crossing. The line keeps its pace when this program is late, and
  // starts afresh once it has run out of bytes.
  void WriteSome(TClock::time_point now) {
    if (Out.empty() || Master() < 0) return;
    std::size_t count = Out.size();
    if (Options.Baud > 0) {
      if (LineIdle) NextByte = now;
      LineIdle = false;
      count = std::min<std::size_t>(count, static_cast<std::size_t>((now - NextByte) / ByteTime()));
      if (count == 0) return;
    }
    ssize_t n = write(Master(), Out.data(), count);
    if (n <= 0) return;  // the far end is full: POLLOUT tells when it has room again
    Out.erase(0, static_cast<std::size_t>(n));
    NextByte += ByteTime() * n;
    LineIdle = Out.empty();
  }

  std::chrono::nanoseconds ByteTime() const {
    return Options.Baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / Options.Baud)
                            : std::chrono::nanoseconds{};
  }

  void HangUp() {
    Attached->Pty.Close();
    HangupAt.reset();
    Pending.clear();
    Out.clear();
  }

  void ReadCommands() {
    char buffer[4096];
    ssize_t n = read(Master(), buffer, sizeof buffer);
    // On a paced line the bytes are taken as arriving one after another, at the earliest now.
    auto now = TClock::now();
    if (NextByteIn < now) NextByteIn = now;
    for (ssize_t i = 0; i < n; ++i) {
      char c = buffer[i];
      NextByteIn += ByteTime();
      if (c == '\r' || c == '\n') {
        if (!Line.empty()) Handle(Line, NextByteIn);
        Line.clear();
      } else if (Line.size() < 4096) {
        Line += c;
      }
    }
  }

  // What follows storing the settings: a restart, at once or a moment later, or a drop off the
  // bus.
  void Saved() {
    const auto now = TClock::now();
    if (Options.RestartMs > 0) Restart = {now, now + std::chrono::milliseconds(Options.RestartMs)};
    if (Options.RestartAfterSaveMs > 0)
      Restart = {now + 200ms, now + 200ms + std::chrono::milliseconds(Options.RestartAfterSaveMs)};
    if (Options.ReconnectMs >= 0) DetachArmed = true;
  }

  void ReadInjected() {
    char buffer[4096];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0 && LineUp())
      Out.append(buffer, static_cast<std::size_t>(n));
    else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
      Options.Inject = false;  // the input has ended
  }

  void Handle(const std::string& line, TClock::time_point arrived) {
    if (LogFd >= 0) {
      std::string entry = line + "\n";
      // One write per command on an O_APPEND file: whoever reads the log sees whole lines.
      if (write(LogFd, entry.data(), entry.size()) < 0) std::perror("vestra-sim: log");
    }
    auto hash = line.find('#');
    if (hash == std::string::npos || Options.Silent || Restarting()) return;
    const std::string command = line.substr(hash);
    if (command == "#S") Saved();
    auto answer = Device.Answer(command);
    if (!answer && command == "#S" && Options.AckSave) answer = "#OK\r";
    if (!answer) return;
    Pending.push_back({arrived + std::chrono::milliseconds(Options.DelayMs), *answer});
  }
};

}  // namespace

int main(int argc, char** argv) {
  try {
    TOptions options;
    TSimDevice device;
    if (!ParseArguments(argc, argv, options, device)) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    TFd stopFd(signalfd(-1, &stopSignals, SFD_CLOEXEC));
    if (stopFd.Get() < 0) FailErrno("signalfd");

    TFd log;
    if (!options.LogPath.empty()) {
      int fd = open(options.LogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (fd < 0) FailErrno("open " + options.LogPath);
      log.Reset(fd);
    }

    TServer server(options, device, log.Get(), stopFd.Get());
    server.Run();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vestra-sim: %s\n", e.what());
    return 2;
  }
}
