#include "tests/support/CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

std::string TempFile(const char* suffix) {
  std::filesystem::create_directories(VESTRA_TEST_TEMP);
  std::string pattern = std::string(VESTRA_TEST_TEMP) + "/cli-XXXXXX" + suffix;
  int fd = mkstemps(pattern.data(), static_cast<int>(std::strlen(suffix)));
  if (fd < 0) throw std::runtime_error(std::string("mkstemps: ") + std::strerror(errno));
  close(fd);
  return pattern;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TCliProcess::TCliProcess(std::vector<std::string> args, TCliStart how)
    : OutPath(TempFile(".out")), ErrPath(TempFile(".err")), WorkDir(TempFile(".d")) {
  const bool errOnTerminal = how.ErrOnTerminal;
  // A folder of its own as the current one, so that what the program keeps there by default
  // (the station's database) is never another test's.
  std::filesystem::remove(WorkDir);
  std::filesystem::create_directory(WorkDir);
  if (errOnTerminal) {
    Terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Terminal < 0 || grantpt(Terminal) != 0 || unlockpt(Terminal) != 0)
      throw std::runtime_error(std::string("posix_openpt: ") + std::strerror(errno));
    std::filesystem::remove(ErrPath);
    ErrPath = ptsname(Terminal);
    if (how.Columns > 0) Resize(how.Columns);
    Reader = std::thread([this] {
      char buffer[4096];
      while (!Ending) {
        pollfd p{Terminal, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = read(Terminal, buffer, sizeof buffer);
        if (n <= 0) continue;
        std::lock_guard lock(Held);
        TerminalText.append(buffer, static_cast<std::size_t>(n));
      }
    });
  }
  args.insert(args.begin(), VESTRA_CLI_PATH);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2] = {-1, -1};
  if (how.OutToPipe && pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
  OutPipe = out[0];
  int input[2] = {-1, -1};
  if (how.InFromPipe && pipe2(input, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
  InPipe = input[1];
  pid_t parent = getpid();
  Pid = fork();
  if (Pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (Pid == 0) {
    // Only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int in = input[0] >= 0 ? input[0] : open("/dev/null", O_RDONLY);
    int output = out[1] >= 0 ? out[1] : open(OutPath.c_str(), O_WRONLY | O_TRUNC);
    int err = open(ErrPath.c_str(), Terminal >= 0 ? O_WRONLY : O_WRONLY | O_TRUNC);
    if (in < 0 || output < 0 || err < 0 || chdir(WorkDir.c_str()) != 0) _exit(127);
    dup2(in, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (out[1] >= 0) close(out[1]);
  if (input[0] >= 0) close(input[0]);
}

void TCliProcess::WriteIn(const std::string& text) {
  if (InPipe < 0 || write(InPipe, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    throw std::runtime_error("standard input of vestra-cli: " + std::string(std::strerror(errno)));
}

void TCliProcess::CloseOut() {
  if (OutPipe >= 0) close(OutPipe);
  OutPipe = -1;
}

void TCliProcess::Resize(int columns) {
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(Terminal, TIOCSWINSZ, &size);
}

TCliProcess::~TCliProcess() {
  if (Pid > 0) {
    kill(Pid, SIGKILL);
    while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  CloseOut();
  if (InPipe >= 0) close(InPipe);
  std::error_code ignored;
  std::filesystem::remove(OutPath, ignored);
  std::filesystem::remove_all(WorkDir, ignored);
  if (Terminal < 0) {
    std::filesystem::remove(ErrPath, ignored);
    return;
  }
  Ending = true;
  Reader.join();
  close(Terminal);
}

int TCliProcess::Wait(std::chrono::milliseconds timeout) {
  if (Pid <= 0) return -1;
  int status = 0;
  bool ended = WaitUntil([&] { return waitpid(Pid, &status, WNOHANG) == Pid; }, timeout);
  if (!ended) return -1;
  Pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TCliProcess::Signal(int signal) {
  if (Pid > 0) kill(Pid, signal);
}

std::string TCliProcess::Out() const { return Contents(OutPath); }

std::string TCliProcess::Err() const {
  if (Terminal < 0) return Contents(ErrPath);
  std::lock_guard lock(Held);
  return TerminalText;
}

TCliResult RunCli(std::vector<std::string> args) {
  TCliProcess process(std::move(args));
  int exit = process.Wait();
  return {exit, process.Out(), process.Err()};
}

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++count;
  return count;
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
  const std::string task = "/proc/" + std::to_string(parent) + "/task/";
  std::vector<pid_t> children;
  std::error_code ignored;
  for (const auto& thread : std::filesystem::directory_iterator(task, ignored)) {
    std::ifstream list(thread.path() / "children");
    for (pid_t child; list >> child;) children.push_back(child);
  }
  return children;
}

std::string CommandLineOf(pid_t pid) {
  std::string line = Contents("/proc/" + std::to_string(pid) + "/cmdline");
  for (char& c : line)
    if (c == '\0') c = ' ';
  return line;
}
