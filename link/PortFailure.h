// The text of a port that could not be opened, in the words of the person who has to mend it:
// no port chosen yet, a port whose device is not there, a device this user may not open. The
// window's message box and the command line's error line both show it, as `OpenPort` returns it.
#pragma once

#include <string>

#include "link/SerialPort.h"

// The text for port `name`, mapped to device `path` (empty when the name has none; the name
// itself when a device path was given), that failed to open with the system's error `error`:
// "COM1 (/dev/ttyACM0): нет такого устройства", "Порт не выбран: ...", a device another program
// holds with who holds it (`BusyPortText`), a refused device with how to join the group dialout;
// any other error as the name and the system's text.
std::string OpenFailureText(const std::string& name, const std::string& path,
                            TSystemError error);
