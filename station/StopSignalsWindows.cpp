// The stop signals on Windows: the console's Ctrl+C and Ctrl+Break (taken as SIGINT) and the
// closing of its window or the end of the session (taken as SIGTERM). The system calls the
// handler on a thread of its own, which sets an event; the handler's "handled" keeps the program
// running until the write has sent its final command. A closed console ends the program as soon
// as the handler returns, so for those events the handler never returns: the program goes on
// with its unit and ends by itself, unless the system's limit (about 5 s for a closed console,
// 5 s at logoff and 20 s at shutdown for a console program) ends it first.
//
// A slot's worker is also stopped by its station (an event the station set for it) and when its
// station's process ends, and tells it that it exits by itself (another event): the handles came
// with it (station/ChildStop.h). A station run by the operator's window is stopped so by the
// window.
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "station/ChildStop.h"
#include "station/StopSignals.h"

namespace {

// Set once by BlockStopSignals, read by the handler: the system's callback takes no context.
HANDLE StopEvent = nullptr;
// Never set: what a handler of a closing console waits on while the program finishes.
HANDLE NeverEvent = nullptr;
volatile LONG StopSignal = 0;

void Stop(int signal) {
  InterlockedCompareExchange(&StopSignal, signal, 0);
  SetEvent(StopEvent);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  Stop(interrupt ? SIGINT : SIGTERM);
  if (!interrupt) WaitForSingleObject(NeverEvent, INFINITE);
  return TRUE;
}

// Set when a worker exits by itself, for its station: none was given to a program of its own.
HANDLE DoneEvent = nullptr;

void SayDone() { SetEvent(DoneEvent); }

// A worker's station asks it to stop, or is gone: either is a SIGTERM. "STOP,STATION,DONE".
void WatchStation(const char* given) {
  HANDLE handles[3] = {};
  const char* at = given;
  for (HANDLE& handle : handles) {
    char* end = nullptr;
    handle = reinterpret_cast<HANDLE>(std::strtoull(at, &end, 10));
    if (!handle || (*end != ',' && *end != '\0')) return;
    at = *end ? end + 1 : end;
  }
  DoneEvent = handles[2];
  std::atexit(SayDone);
  std::thread([handles] {
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_FAILED) Stop(SIGTERM);
  }).detach();
}

}  // namespace

void BlockStopSignals() {
  if (StopEvent) return;
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  NeverEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  if (const char* given = std::getenv(kChildStopVariable)) WatchStation(given);
}

void BlockChildEndSignal() {}

void IgnoreClosedOutput() {}

// The descriptor is the stop event's handle, for a caller that waits on more than this (a
// handle fits in an int: Windows keeps them within 32 bits for 32-bit programs' sake).
TStopSignals::TStopSignals() : Descriptor(StopEvent ? HandleToLong(StopEvent) : -1) {}

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
