// The system's part of a station with several slots: its workers' processes, their pipes, and
// the waiting for whatever happens next.
//
// `TWorkerProcesses` starts each slot's worker with three pipes (its standard input, which the
// station may write to, its standard output with the events and its standard error with the
// notes), tells a worker to finish its unit and end, and waits for the next things that happen:
// lines from the workers, a worker's end (after everything it wrote), a stop the station was
// given (Ctrl+C, SIGTERM, ...) and the readiness of the station's own watches. What the
// station does about them (events, restarts, counts, stopping) is station/Slots.cpp's, the same
// on every system. Linux: fork and exec, signalfd, poll (WorkerProcess.cpp); Windows:
// CreateProcess, the console's handler, reader threads (WorkerProcessWindows.cpp).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct TWorkerEnd {
  // Ended by something else than itself (a signal; on Windows another program's
  // TerminateProcess): the station starts it again.
  bool Killed = false;
  int Code = 0;     // its exit code, or 128 + the signal that ended it
  std::string How;  // for a person: "сигналом 9", "извне (код 1)"
};

struct THappening {
  enum class TKind {
    Event,  // a line of the worker's standard output
    Note,   // a line of its standard error
    Ended,  // the worker ended; every line it wrote came before
    Stop,   // the station was told to stop: `Signal` (on Windows SIGINT or SIGTERM)
    Ready,  // waitable `Worker` (an index into those given to Wait) is ready
  };
  TKind Kind;
  int Worker = -1;  // the index given to Start
  std::string Line;
  TWorkerEnd End;
  int Signal = 0;
};

class TWorkerProcesses {
 public:
  // Takes the station's stop signals (and its children's ends) from now on.
  TWorkerProcesses();
  // Kills every worker still running and waits for it.
  ~TWorkerProcesses();
  TWorkerProcesses(const TWorkerProcesses&) = delete;
  TWorkerProcesses& operator=(const TWorkerProcesses&) = delete;

  // Starts worker `index` (again, once it ended): `arguments` with the program first, in exactly
  // `environment` ("NAME=value" each). Raises std::runtime_error when the system cannot.
  void Start(int index, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment);
  bool Running(int index) const;
  // Asks a running worker to finish its unit and end, as `signal` (SIGTERM, SIGINT, ...) does.
  void Stop(int index, int signal);
  // Writes `bytes` to the worker's standard input; false when it takes them no longer.
  bool Write(int index, const std::string& bytes);
  // Waits up to `timeout` (negative: without limit) until something happens, and returns
  // everything that did, in order. `waitables` are the station's watches: descriptors on
  // Linux, handles (as TDeviceWatch::Descriptor gives them) on Windows.
  std::vector<THappening> Wait(std::chrono::milliseconds timeout,
                               const std::vector<int>& waitables);

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

// `word` as this system's shell reads it back as one word: for the command a person may run to
// go on (sh's quotes on Linux, the C runtime's on Windows).
std::string ShellWord(const std::string& word);

// The settings store, watched for a port name given another device (as the simulated unit's
// --com does). On Windows the ports are the system's own, and it never changes.
class TSettingsWatch {
 public:
  TSettingsWatch();
  ~TSettingsWatch();
  TSettingsWatch(const TSettingsWatch&) = delete;
  TSettingsWatch& operator=(const TSettingsWatch&) = delete;
  // A waitable for TWorkerProcesses::Wait; -1 when there is none.
  int Waitable() const { return Descriptor; }
  // Whether the settings changed since the last call; never blocks.
  bool Changed();

 private:
  int Descriptor = -1;
};
