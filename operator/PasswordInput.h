// A password read from the terminal without echo, or a line of standard input when that is no
// terminal (a script, a test). One file per system.
#pragma once

#include <QString>

// Raises EVestraError when standard input ended.
QString ReadPassword(const char* prompt);
