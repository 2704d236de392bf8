// vestra-cli as a child process of a test or a benchmark.
//
// `TCliProcess` starts the program with the given arguments, standard input empty and standard
// output and error each into a temporary file that can be read while it runs (or standard error
// on a pseudo-terminal, as a person's terminal); the environment (settings store, platform) is
// the caller's; its current folder is an empty one of its own. It is killed if still running
// when it goes out of scope. `RunCli` runs it to its end.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Where the program's output goes, beyond files.
struct TCliStart {
  bool ErrOnTerminal = false;  // standard error on a pseudo-terminal
  int Columns = 0;             // that terminal's width; 0: the system's default
  bool OutToPipe = false;      // standard output into a pipe, which CloseOut closes
  bool InFromPipe = false;     // standard input from a pipe, which WriteIn fills
};

class TCliProcess {
 public:
  explicit TCliProcess(std::vector<std::string> args, bool errOnTerminal = false)
      : TCliProcess(std::move(args), TCliStart{errOnTerminal}) {}
  TCliProcess(std::vector<std::string> args, TCliStart how);
  ~TCliProcess();
  TCliProcess(const TCliProcess&) = delete;
  TCliProcess& operator=(const TCliProcess&) = delete;

  // The exit code once it ended; -1 when it is still running after `timeout` or was killed by a
  // signal.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(120));
  void Signal(int signal);
  pid_t Id() const { return Pid; }
  std::string Out() const;
  std::string Err() const;
  // Closes the reading end of the pipe of standard output: its reader has gone.
  void CloseOut();
  // Writes to its standard input (TCliStart::InFromPipe), as a scanner types.
  void WriteIn(const std::string& text);
  // Gives the terminal of standard error another width.
  void Resize(int columns);

 private:
  pid_t Pid = -1;
  std::string OutPath, ErrPath, WorkDir;
  // Standard error on a terminal: its other end, and what came out of it.
  int Terminal = -1;
  int OutPipe = -1;  // the reading end, with TCliStart::OutToPipe
  int InPipe = -1;   // the writing end, with TCliStart::InFromPipe
  std::thread Reader;
  std::atomic<bool> Ending{false};
  mutable std::mutex Held;
  std::string TerminalText;
};

struct TCliResult {
  int Exit;
  std::string Out, Err;
};
TCliResult RunCli(std::vector<std::string> args);

// Waits until `ready()` holds, at most `timeout`; whether it held.
bool WaitUntil(const std::function<bool()>& ready,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The processes that `parent` started and that still run.
std::vector<pid_t> ChildrenOf(pid_t parent);
// A process's command line, its arguments separated by blanks.
std::string CommandLineOf(pid_t pid);

// How often `part` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& part);
