// The stop signals on Windows: the console's Ctrl+C and Ctrl+Break (taken as SIGINT) and the
// closing of its window or the end of the session (taken as SIGTERM). The system calls the
// handler on a thread of its own, which only sets an event; the handler's "handled" keeps the
// program running until the write has sent its final command. A closed console gives the
// program a few seconds only, which a write with its check mostly fits into.
#include <windows.h>

#include <csignal>

#include "station/StopSignals.h"

namespace {

// Set once by BlockStopSignals, read by the handler: the system's callback takes no context.
HANDLE StopEvent = nullptr;
volatile LONG StopSignal = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  InterlockedCompareExchange(&StopSignal, interrupt ? SIGINT : SIGTERM, 0);
  SetEvent(StopEvent);
  return TRUE;
}

}  // namespace

void BlockStopSignals() {
  if (StopEvent) return;
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void BlockChildEndSignal() {}

void IgnoreClosedOutput() {}

TStopSignals::TStopSignals() = default;

TStopSignals::~TStopSignals() = default;

bool TStopSignals::Wait(std::chrono::milliseconds timeout) {
  if (Caught) return true;
  if (StopEvent &&
      WaitForSingleObject(StopEvent, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0)
    Caught = static_cast<int>(StopSignal);
  return Caught != 0;
}

std::string TStopSignals::Name() const {
  if (Caught == SIGINT) return "Ctrl+C";
  if (Caught == SIGTERM) return "закрытие консоли";
  return {};
}
