#include "tests/support/HeldDatabase.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

THeldDatabase::THeldDatabase(const std::string& path) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    throw std::runtime_error("pipe");
  }
  Child = fork();
  if (Child == 0) {
    // Only async-signal-safe calls until exec.
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    execl("/usr/bin/sqlite3", "sqlite3", "-batch", path.c_str(), nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  Input = in[1];
  const std::string script = ".bail on\n.timeout 5000\nBEGIN IMMEDIATE;\nSELECT 'held';\n";
  std::string said;
  if (Child > 0 && write(Input, script.data(), script.size()) == ssize_t(script.size())) {
    char buffer[256];
    for (ssize_t n;
         said.find("held") == std::string::npos && (n = read(out[0], buffer, sizeof buffer)) > 0;)
      said.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (said.find("held") == std::string::npos) {
    Release();
    throw std::runtime_error("THeldDatabase: sqlite3 could not lock " + path + ": " + said);
  }
}

THeldDatabase::~THeldDatabase() { Release(); }

void THeldDatabase::Release() {
  if (Input >= 0) close(Input);
  Input = -1;
  if (Child > 0)
    while (waitpid(Child, nullptr, 0) < 0 && errno == EINTR) {
    }
  Child = -1;
}
