// vestra-cli dashboard: the line's page (dashboard/Dashboard.h) on the station's database.
#include "dashboard/Dashboard.h"

#include "cli/Cli.h"

int RunDashboard(TSession& session) {
  return ServeDashboard(DashboardSetup(StationDb(session), session.Options.value("listen"),
                                       session.Options.value("token-file")));
}
