// Workers on Linux: fork and exec with three pipes, the stop signals and SIGCHLD through one
// signalfd, everything waited for in one poll.
#include "station/WorkerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "service/PortStore.h"

namespace {

// The signals that stop a station; each worker is sent the one the station got.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

struct TChild {
  pid_t Pid = -1;
  int In = -1, Out = -1, Err = -1;  // our ends of its standard input, output and error
  std::string OutHeld, ErrHeld;
};

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

struct TWorkerProcesses::TState {
  int SignalFd = -1;
  std::map<int, TChild> Children;

  // Reads what the child has written, line by line; closes a pipe at its end.
  void Drain(int index, TChild& child, std::vector<THappening>& happened) {
    for (int* fd : {&child.Out, &child.Err}) {
      std::string& held = fd == &child.Out ? child.OutHeld : child.ErrHeld;
      const auto kind = fd == &child.Out ? THappening::TKind::Event : THappening::TKind::Note;
      char buffer[4096];
      while (*fd >= 0) {
        const ssize_t n = read(*fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;  // nothing more now
        if (n == 0) {
          CloseFd(*fd);
          if (!held.empty()) held += '\n';  // a last line without its end
        }
        held.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = held.find('\n')) != std::string::npos;) {
          happened.push_back({kind, index, held.substr(0, end), {}, 0});
          held.erase(0, end + 1);
        }
      }
    }
  }

  void Ended(int index, TChild& child, int status, std::vector<THappening>& happened) {
    child.Pid = -1;
    // Whatever it wrote before it ended counts.
    for (int fd : {child.Out, child.Err})
      if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Drain(index, child, happened);
    CloseFd(child.In);
    THappening end{THappening::TKind::Ended, index, {}, {}, 0};
    end.End.Killed = WIFSIGNALED(status);
    end.End.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (end.End.Killed) end.End.How = "сигналом " + std::to_string(WTERMSIG(status));
    happened.push_back(std::move(end));
  }
};

TWorkerProcesses::TWorkerProcesses() : State(std::make_unique<TState>()) {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  sigaddset(&set, SIGCHLD);
  State->SignalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (State->SignalFd < 0) Fail("signalfd");
}

TWorkerProcesses::~TWorkerProcesses() {
  for (auto& [index, child] : State->Children) {
    if (child.Pid > 0) {
      kill(child.Pid, SIGKILL);
      while (waitpid(child.Pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    for (int* fd : {&child.In, &child.Out, &child.Err}) CloseFd(*fd);
  }
  close(State->SignalFd);
}

void TWorkerProcesses::Start(int index, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
  std::vector<std::string> args = arguments, variables = environment;
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) Fail("pipe");
  if (pipe2(out, O_CLOEXEC) != 0) {
    for (int fd : in) close(fd);
    Fail("pipe");
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    Fail("pipe");
  }
  sigset_t stop;
  sigemptyset(&stop);
  for (int signal : kStopSignals) sigaddset(&stop, signal);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec. A worker outlives no station: it finishes its
    // unit and ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    sigprocmask(SIG_SETMASK, &stop, nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  if (pid < 0) {
    for (int fd : {in[1], out[0], err[0]}) close(fd);
    Fail("fork");
  }
  for (int fd : {in[1], out[0], err[0]}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  TChild& child = State->Children[index];
  for (int* fd : {&child.In, &child.Out, &child.Err}) CloseFd(*fd);
  child = TChild{pid, in[1], out[0], err[0], {}, {}};
}

bool TWorkerProcesses::Running(int index) const {
  const auto child = State->Children.find(index);
  return child != State->Children.end() && child->second.Pid > 0;
}

void TWorkerProcesses::Stop(int index, int signal) {
  if (Running(index)) kill(State->Children[index].Pid, signal);
}

bool TWorkerProcesses::Write(int index, const std::string& bytes) {
  if (!Running(index)) return false;
  const int fd = State->Children[index].In;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) > 0) continue;
    }
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<THappening> TWorkerProcesses::Wait(std::chrono::milliseconds timeout,
                                               const std::vector<int>& waitables) {
  std::vector<pollfd> fds{{State->SignalFd, POLLIN, 0}};
  for (int fd : waitables) fds.push_back({fd, POLLIN, 0});
  for (const auto& [index, child] : State->Children)
    for (int fd : {child.Out, child.Err})
      if (fd >= 0) fds.push_back({fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) < 0 && errno != EINTR)
    Fail("poll");
  std::vector<THappening> happened;
  for (auto& [index, child] : State->Children) State->Drain(index, child, happened);
  signalfd_siginfo info;
  while (read(State->SignalFd, &info, sizeof info) == sizeof info)
    if (info.ssi_signo != SIGCHLD)
      happened.push_back({THappening::TKind::Stop, -1, {}, {}, static_cast<int>(info.ssi_signo)});
  int status = 0;
  for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;)
    for (auto& [index, child] : State->Children)
      if (child.Pid == pid) State->Ended(index, child, status, happened);
  for (std::size_t i = 0; i < waitables.size(); ++i)
    if (fds[i + 1].revents)
      happened.push_back({THappening::TKind::Ready, static_cast<int>(i), {}, {}, 0});
  return happened;
}

std::string ShellWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\n'\"\\$`;&|<>()*?[]#~") == std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TSettingsWatch::TSettingsWatch() {
  const std::string file = SettingsFileName();
  const std::string folder = file.substr(0, file.find_last_of('/'));
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  Descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (Descriptor >= 0)
    inotify_add_watch(Descriptor, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
}

TSettingsWatch::~TSettingsWatch() {
  if (Descriptor >= 0) close(Descriptor);
}

bool TSettingsWatch::Changed() {
  char events[4096];
  bool any = false;
  while (Descriptor >= 0 && read(Descriptor, events, sizeof events) > 0) any = true;
  return any;
}
