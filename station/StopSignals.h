// The stop signals of the command line: SIGINT, SIGTERM, SIGHUP (the terminal closed) and
// SIGQUIT.
//
// A unit left with part of a configuration and no "#S" is worse than one not touched, so none of
// these may end the program in the middle of a write. `BlockStopSignals` holds them back in every
// thread from the start of `write` and `provision`; `TStopSignals` takes them through a
// descriptor at the moments when stopping is safe: `write` after its final command (and its
// verification), the station between units. A run a signal stopped exits with 128 + its number.
#pragma once

#include <chrono>
#include <string>

// Blocks the four signals in the calling thread and in every thread it starts later.
void BlockStopSignals();
// Blocks SIGCHLD likewise: the station learns that a slot's worker ended through a descriptor,
// which only a signal blocked in every thread reaches. Nothing on Windows.
void BlockChildEndSignal();
// Makes a write to an output whose reader went away fail instead of ending the program
// (SIGPIPE ignored). Nothing on Windows, which has no such signal.
void IgnoreClosedOutput();

class TStopSignals {
 public:
  TStopSignals();  // raises std::runtime_error when the system gives no descriptor
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Waits up to `timeout` for a stop signal (one already pending counts); true once one came.
  bool Wait(std::chrono::milliseconds timeout);
  // Readable while a stop signal is pending, for a caller that waits on more than this.
  int Fd() const { return Descriptor; }
  // The number of the signal that came; 0 while none did.
  int Signal() const { return Caught; }
  // 128 + the signal's number (SIGINT 130, SIGTERM 143, SIGHUP 129, SIGQUIT 131); 0 while none.
  int ExitCode() const { return Caught ? 128 + Caught : 0; }
  // "SIGINT", ...; empty while none came.
  std::string Name() const;

 private:
  int Descriptor = -1;
  int Caught = 0;
};
