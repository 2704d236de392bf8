// vestra-cli: the configurator's operations from a script.
//
// Every subcommand runs in a terminal session (station/Session.h): the engine's session on the
// unit with the configuration's values, a `TTerminalPerson` instead of dialogs, and the options
// of its command line. The settings store is read (ports, the selected port, the two options)
// and never written. Each subcommand is a function from the session to an exit code; the
// station's are station/Station.h's.
#pragma once

#include "station/Session.h"

int RunPorts(TSession& session);
int RunFind(TSession& session);
int RunVersion(TSession& session);
int RunRead(TSession& session);
int RunWrite(TSession& session);
int RunDiff(TSession& session);
// The line's page in a browser (cli/Dashboard.cpp).
int RunDashboard(TSession& session);
