// vestra-sim: a simulated unit on a pseudo-terminal, for trying the configurator without a unit
// and for testing the link against real bytes. It prints the device path of its terminal on the
// first line of its output and serves until SIGTERM or SIGINT.
//
// Options.h reads the command line, Device.h answers the commands, Server.h carries the answers
// with their timing and faults, Attachment.h puts the unit on the system.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>

#include "sim/Attachment.h"
#include "sim/Device.h"
#include "sim/Options.h"
#include "sim/Server.h"

int main(int argc, char** argv) {
  try {
    TOptions options;
    TSimDevice device;
    if (!ParseArguments(argc, argv, options, device)) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    TFd stopFd(signalfd(-1, &stopSignals, SFD_CLOEXEC));
    if (stopFd.Get() < 0) FailErrno("signalfd");

    TFd log;
    if (!options.LogPath.empty()) {
      int fd = open(options.LogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (fd < 0) FailErrno("open " + options.LogPath);
      log.Reset(fd);
    }

    TServer server(options, device, log.Get(), stopFd.Get());
    server.Run();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vestra-sim: %s\n", e.what());
    return 2;
  }
}
