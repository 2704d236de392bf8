// How a child of ours on Windows is told to stop, since the system has no signal to send and a
// console program never sees a window's close: through handles it inherits, named in its
// environment (kChildStopVariable = "STOP,PARENT,DONE", read by StopSignalsWindows.cpp). STOP
// set asks it to finish its unit and end, as SIGTERM does on Linux; PARENT, the process that
// started it, ending does the same, so that a child whose parent was killed finishes and ends; it
// sets DONE when it exits by itself, which an exit code cannot tell (TerminateProcess gives any
// code). The station's workers and the operator's window's station are told so. Windows builds
// only.
#pragma once

#include <windows.h>

#include <string>

inline constexpr char kChildStopVariable[] = "VESTRA_WORKER_STOP";

// Raises std::runtime_error naming the call `what` and the system's last error.
[[noreturn]] void FailWithLastError(const char* what);
// An inheritable copy of `handle`, for a child's start alone, so that no other child gets it.
HANDLE InheritableCopy(HANDLE handle);

// The two events of one start of a child.
class TChildStop {
 public:
  TChildStop();  // raises std::runtime_error when the system cannot
  ~TChildStop();
  TChildStop(const TChildStop&) = delete;
  TChildStop& operator=(const TChildStop&) = delete;

  // Asks the child to finish its unit and end.
  void Ask() const;
  // Whether the child said it exits by itself: false as well for one that was killed.
  bool Done() const;

 private:
  friend class TGivenStop;
  HANDLE StopEvent = nullptr, DoneEvent = nullptr;
};

// Inheritable copies of the handles for one start of the child, and the value of
// kChildStopVariable that names them; closed when this goes, once the child holds its own.
class TGivenStop {
 public:
  explicit TGivenStop(const TChildStop& stop);
  ~TGivenStop();
  TGivenStop(const TGivenStop&) = delete;
  TGivenStop& operator=(const TGivenStop&) = delete;

  std::string Value() const;

 private:
  HANDLE Handles[3];  // STOP, PARENT, DONE
  void Close();
};
