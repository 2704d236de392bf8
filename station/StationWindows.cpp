// The batch station's subcommands on Windows: not there yet (it needs device events, worker
// processes and the stop signals of Linux). They say so and end as a usage error does.
#include "station/Session.h"

namespace {

int NotOnWindows(const char* command) {
  std::fprintf(stderr,
               "vestra-cli: команда %s в Windows пока недоступна: станция работает в Linux\n",
               command);
  return ExitUsage;
}

}  // namespace

int RunProvision(TSession&) { return NotOnWindows("provision"); }

int RunReport(TSession&) { return NotOnWindows("report"); }
