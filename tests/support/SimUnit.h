// The simulated unit as a child process of a test.
//
// `TSimUnit` starts vestra-sim with the given options and a command log of its own, waits until
// the unit has printed the path of its pseudo-terminal, and stops it again (SIGTERM) when it
// goes out of scope. `Commands` reads back what the unit received, so a test can check exactly
// which commands the program sent.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

class TSimUnit {
 public:
  // Starts the unit with `args` (see vestra-sim --help) plus --inject and --log <temporary
  // file>; throws
  // std::runtime_error when it does not come up.
  explicit TSimUnit(std::vector<std::string> args = {});
  ~TSimUnit();  // Stop(), then removes the temporary files
  TSimUnit(const TSimUnit&) = delete;
  TSimUnit& operator=(const TSimUnit&) = delete;

  const std::string& PtyPath() const;
  // Commands received so far, in order, as Windows-1251 bytes without their CR.
  std::vector<std::string> Commands() const;
  // Puts these bytes on the line at once, as if the unit had sent them (one burst).
  void Send(const std::string& bytes);
  // Terminates the unit now by `signal` (SIGTERM when none is given) and waits for it: its
  // terminal closes, a hang-up for the program.
  void Stop(int signal);
  void Stop() { Stop(SIGTERM); }
  bool Running() const { return Pid > 0; }

 private:
  pid_t Pid = -1;
  int Input = -1;  // the unit's standard input, for Send
  std::string Pty;
  std::string LogPath;
};
