// The line's page is served by Linux PCs only, as the station runs there.
#include "cli/Cli.h"

int RunDashboard(TSession& session) {
  session.ShowError("панель линии (dashboard) есть только в Linux");
  return ExitFailed;
}
