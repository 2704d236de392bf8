// The serving loop of the simulated unit.
#include "sim/Server.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "sim/Device.h"

using namespace std::chrono_literals;

TServer::TServer(TOptions options, TSimDevice& device, int logFd, int signalFd)
    : Options(std::move(options)),
      Device(device),
      Attached(std::make_unique<TAttachment>(Options)),
      LogFd(logFd),
      SignalFd(signalFd) {}

void TServer::Run() {
  auto periodic = std::chrono::milliseconds(Options.PeriodicMs);
  NextPeriodic = TClock::now() + periodic;
  for (;;) {
    const auto now = TClock::now();
    ServeDue(now);
    if (!WaitAndRead(now)) return;
  }
}

void TServer::ServeDue(TClock::time_point now) {
  for (;;) {
    while (!Pending.empty() && Pending.front().Due <= now) {
      TPendingAnswer answer = std::move(Pending.front());
      Pending.pop_front();
      if (!answer.SecondHalf)
        Emit(answer.Text, true);
      else if (LineUp())
        Out += answer.Text;
    }
    // One command at a time: the next is read once the whole answer before it has gone out,
    // and a command without an answer lets the next one be read at once.
    if (!Pending.empty() || Unread.empty()) break;
    auto [line, arrived] = std::move(Unread.front());
    Unread.pop_front();
    Handle(line, std::max(arrived, now));
  }
  if (Options.PeriodicMs > 0 && now >= NextPeriodic) {
    auto periodic = std::chrono::milliseconds(Options.PeriodicMs);
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
      Unread.clear();  // sent to a terminal that is gone
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
}

bool TServer::WaitAndRead(TClock::time_point now) {
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
  if (n <= 0) return true;
  if (fds[0].revents & POLLIN) return false;
  if (fds[1].revents & POLLIN) ReadCommands();
  if (fds[2].revents) ReadInjected();
  return true;
}

bool TServer::Restarting() const {
  const auto now = TClock::now();
  return Restart && now >= Restart->first && now < Restart->second;
}

void TServer::Emit(const std::string& message, bool isAnswer) {
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
void TServer::WriteSome(TClock::time_point now) {
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

std::chrono::nanoseconds TServer::ByteTime() const {
  return Options.Baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / Options.Baud)
                          : std::chrono::nanoseconds{};
}

void TServer::HangUp() {
  Attached->Pty.Close();
  HangupAt.reset();
  Pending.clear();
  Unread.clear();
  Out.clear();
}

void TServer::ReadCommands() {
  char buffer[4096];
  ssize_t n = read(Master(), buffer, sizeof buffer);
  // On a paced line the bytes are taken as arriving one after another, at the earliest now.
  auto now = TClock::now();
  if (NextByteIn < now) NextByteIn = now;
  for (ssize_t i = 0; i < n; ++i) {
    char c = buffer[i];
    NextByteIn += ByteTime();
    if (c == '\r' || c == '\n') {
      if (!Line.empty() && Options.OneAtATime)
        Unread.emplace_back(Line, NextByteIn);
      else if (!Line.empty())
        Handle(Line, NextByteIn);
      Line.clear();
    } else if (Line.size() < 4096) {
      Line += c;
    }
  }
}

// What follows storing the settings: a restart, at once or a moment later, or a drop off the
// bus.
void TServer::Saved() {
  const auto now = TClock::now();
  if (Options.RestartMs > 0) Restart = {now, now + std::chrono::milliseconds(Options.RestartMs)};
  if (Options.RestartAfterSaveMs > 0)
    Restart = {now + 200ms, now + 200ms + std::chrono::milliseconds(Options.RestartAfterSaveMs)};
  if (Options.ReconnectMs >= 0) DetachArmed = true;
}

void TServer::ReadInjected() {
  char buffer[4096];
  ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n > 0 && LineUp())
    Out.append(buffer, static_cast<std::size_t>(n));
  else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
    Options.Inject = false;  // the input has ended
}

void TServer::Handle(const std::string& line, TClock::time_point arrived) {
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
