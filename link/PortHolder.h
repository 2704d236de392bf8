// Who holds a serial device open, for the text of a port that cannot be opened because it is
// busy.
//
// The holder is found through /proc, as far as this user may look (another user's processes
// stay hidden). Where none can be seen but ModemManager runs, it is the likely holder: it opens
// every new USB serial device for several seconds to find out whether it is a modem, and a GSM
// unit looks like one.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

struct TPortHolder {
  pid_t Pid;
  std::string Program;  // its name as /proc gives it (comm)
};

// A process that has `path`'s device open; none when no visible one has.
std::optional<TPortHolder> FindPortHolder(const std::string& path);

// The text for port `name` at `path` that another program holds:
// "COM3 (/dev/ttyACM0): порт занят станцией line1, PID 4711" for a station that holds its unit,
// "COM3 (/dev/ttyACM0): порт занят программой minicom (PID 4711)", or ModemManager named as the
// likely holder with how to keep it off the unit, or that some program holds it.
std::string BusyPortText(const std::string& name, const std::string& path);
