#include "tests/support/PgServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";
const char* const kUser = "postgres";  // the unprivileged user the server runs as under root

}  // namespace

TPgServer::TPgServer(bool durable) {
  char pattern[] = "/tmp/vestra-pg-XXXXXX";  // short: a socket path has about 100 bytes
  if (!mkdtemp(pattern)) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
  Dir = pattern;
  if (geteuid() == 0) {
    const passwd* user = getpwnam(kUser);
    if (!user || chown(Dir.c_str(), user->pw_uid, user->pw_gid) != 0)
      throw std::runtime_error("TPgServer: no user " + std::string(kUser));
  }
  Run({kBin + "initdb", "-D", Dir + "/data", "-U", "vestra", "-A", "trust", "-E", "UTF8",
       "--locale=C", "-N"});
  Options = "-k " + Dir + " -c listen_addresses=''";
  if (!durable) Options += " -F";
  Start();
}

void TPgServer::Start() {
  Run({kBin + "pg_ctl", "-D", Dir + "/data", "-l", Dir + "/server.log", "-w", "-o", Options,
       "start"});
}

void TPgServer::Stop() { Run({kBin + "pg_ctl", "-D", Dir + "/data", "-m", "fast", "-w", "stop"}); }

TPgServer::~TPgServer() {
  try {
    Run({kBin + "pg_ctl", "-D", Dir + "/data", "-m", "immediate", "-w", "stop"});
  } catch (const std::exception&) {
    // Removing its folder is all that is left to do.
  }
  std::error_code ignored;
  std::filesystem::remove_all(Dir, ignored);
}

std::string TPgServer::NewDatabase(const std::string& name) {
  Run({kBin + "createdb", "-h", Dir, "-U", "vestra", name});
  return "postgresql://vestra@/" + name + "?host=" + Dir;
}

std::string TPgServer::Words(const std::string& name) const {
  return "host=" + Dir + " user=vestra dbname=" + name;
}

void TPgServer::Run(std::vector<std::string> args) const {
  if (geteuid() == 0) args.insert(args.begin(), {"/usr/sbin/runuser", "-u", kUser, "--"});
  const std::string output = Dir + "/run.out";
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + strerror(errno));
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) _exit(127);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    if (chdir("/") != 0) _exit(127);  // the postgres user may not enter the caller's folder
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  std::ifstream in(output);
  std::ostringstream text;
  text << in.rdbuf();
  throw std::runtime_error("TPgServer: " + args.back() + " failed: " + text.str());
}
