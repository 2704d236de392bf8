// The station's subcommands, run in a terminal face's session: `provision` (the batch station,
// station/Provision.cpp) and `report` (station/Report.cpp).
#pragma once

#include "station/Session.h"

int RunProvision(TSession& session);
int RunReport(TSession& session);
