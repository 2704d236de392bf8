#include "tests/support/SimUnit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

std::runtime_error Failure(const std::string& what) {
  return std::runtime_error("TSimUnit: " + what + ": " + std::strerror(errno));
}

// Reads the first line the child prints, waiting at most 10 s.
std::string ReadFirstLine(int fd) {
  std::string line;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int n = poll(&p, 1, 10000);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    char c;
    ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') return got <= 0 ? std::string() : line;
    line += c;
  }
}

}  // namespace

TSimUnit::TSimUnit(std::vector<std::string> args) {
  std::filesystem::create_directories(VESTRA_TEST_TEMP);
  std::string pattern = std::string(VESTRA_TEST_TEMP) + "/sim-XXXXXX.log";
  int logFd = mkstemps(pattern.data(), 4);
  if (logFd < 0) throw Failure("mkstemps");
  close(logFd);
  LogPath = pattern;

  args.insert(args.begin(), VESTRA_SIM_PATH);
  args.push_back("--inject");
  args.push_back("--log");
  args.push_back(LogPath);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw Failure("pipe");
  // A socket rather than a pipe, so that Send to a stopped unit fails instead of raising SIGPIPE.
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
    close(out[0]);
    close(out[1]);
    throw Failure("socketpair");
  }
  pid_t parent = getpid();
  Pid = fork();
  if (Pid < 0) {
    for (int fd : {out[0], out[1], in[0], in[1]}) close(fd);
    throw Failure("fork");
  }
  if (Pid == 0) {
    // Only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(out[1], STDOUT_FILENO);
    dup2(in[1], STDIN_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(in[1]);
  Input = in[0];
  Pty = ReadFirstLine(out[0]);
  close(out[0]);
  if (Pty.empty()) {
    Stop();
    std::filesystem::remove(LogPath);
    throw std::runtime_error("TSimUnit: " VESTRA_SIM_PATH " did not print its terminal");
  }
}

TSimUnit::~TSimUnit() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove(LogPath, ignored);
}

const std::string& TSimUnit::PtyPath() const { return Pty; }

std::vector<std::string> TSimUnit::Commands() const {
  std::vector<std::string> commands;
  std::ifstream log(LogPath, std::ios::binary);
  for (std::string line; std::getline(log, line);) commands.push_back(line);
  return commands;
}

void TSimUnit::Stop(int signal) {
  if (Input >= 0) close(Input);
  Input = -1;
  if (Pid <= 0) return;
  kill(Pid, signal);
  while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  Pid = -1;
}

void TSimUnit::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(Input, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Failure("Send");
    done += static_cast<std::size_t>(n);
  }
}
