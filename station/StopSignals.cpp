#include "station/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <stdexcept>

namespace {

struct TSignalName {
  int Signal;
  const char* Name;
};

const TSignalName kStopSignals[] = {
    {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}};

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const auto& row : kStopSignals) sigaddset(&set, row.Signal);
  return set;
}

}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void BlockChildEndSignal() {
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &child, nullptr);
}

void IgnoreClosedOutput() { signal(SIGPIPE, SIG_IGN); }

TStopSignals::TStopSignals() {
  const sigset_t set = StopSet();
  Descriptor = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (Descriptor < 0) throw std::runtime_error("signalfd");
}

TStopSignals::~TStopSignals() { close(Descriptor); }

bool TStopSignals::Wait(std::chrono::milliseconds timeout) {
  if (Caught) return true;
  pollfd p{Descriptor, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) > 0) {
    signalfd_siginfo info;
    if (read(Descriptor, &info, sizeof info) == sizeof info)
      Caught = static_cast<int>(info.ssi_signo);
  }
  return Caught != 0;
}

std::string TStopSignals::Name() const {
  for (const auto& row : kStopSignals)
    if (row.Signal == Caught) return row.Name;
  return Caught ? "сигнал " + std::to_string(Caught) : std::string();
}
