// The exit codes of the command line's subcommands and of the station, and the usage error.
#pragma once

#include <string>

enum TExit : int {
  ExitDone = 0,
  ExitFailed = 1,        // the operation failed; its text was printed as the window's box shows it
  ExitUsage = 2,         // the command line or an input file cannot be read or parsed
  ExitChecksFailed = 3,  // the form's checks failed or a value was refused; nothing was sent
  ExitDifferences = 4,   // the unit holds other values than expected
  // A stop signal ended the run once that was safe: 128 + the signal's number.
};

// A usage error found while running: printed, exit 2.
struct EUsage {
  std::string Text;
};
