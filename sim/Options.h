// The simulated unit's command line: how it is attached to the system and how it misbehaves.
//
// `ParseArguments` fills `TOptions` (the serving loop's timing and faults, Server.h) and the
// device's values and answers (`TSimDevice`, Device.h) from the arguments; `kUsage` describes
// every option. Texts given on the command line are UTF-8 and become Windows-1251.
#pragma once

#include <stdexcept>
#include <string>

class TSimDevice;

struct TOptions {
  std::string LinkPath, ComName, LogPath;
  int DelayMs = 0, RestartMs = 0, RestartAfterSaveMs = 0, ReconnectMs = -1;
  bool AckSave = false;
  // Reads the next command only once the answer to the one before has gone out, as a unit with
  // one serial loop does; `DelayMs` then counts from reading the command.
  bool OneAtATime = false;
  int SplitMs = 0;
  bool Silent = false, Garbage = false, Flood = false, Inject = false;
  int HangupAfter = 0;
  int PeriodicMs = 0;
  long Baud = 0;
};

extern const char* const kUsage;

// What the command line asks for: to serve, or only to print the usage or the version.
enum class TStart { Serve, Help, Version };

// Raises std::runtime_error with a one-line text for an argument it cannot take.
TStart ParseArguments(int argc, char** argv, TOptions& options, TSimDevice& device);

// The simulated unit's failures: a one-line text, printed by main before it exits.
[[noreturn]] void Fail(const std::string& what);
// `what`, ": " and the system's text of errno.
[[noreturn]] void FailErrno(const std::string& what);
