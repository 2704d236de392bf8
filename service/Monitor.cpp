// The receive monitor: while it is on, every timer tick keeps the selected port open and moves at
// most one message the unit sent into the log. It never sends anything.
#include <exception>
#include <string>

#include "service/Service.h"

TMonitorTick MonitorTick(TUnitSession& session, const std::string& port, bool underOperation) {
  TLink& link = session.Link;
  TMonitorTick tick;
  if (underOperation) {
    // The operation is asking the person a question and holds the link open: show what
    // arrives, but leave a failure to the operation, which reports it once and closes the link
    // (closed here, the operation would go on writing to a closed port and report that too).
    if (link.PortHandle == kClosedPort) return tick;
  } else if (!link.OpenPort(port).empty()) {
    // Retried silently on the next tick. A port that was opened but could not be set up is
    // let go, so that the retry starts from a fresh open instead of reading a half-set line.
    link.ClosePort();
    return tick;
  }
  try {
    const std::string message = link.ReadAnswer();
    if (!message.empty() && session.Person()) session.Person()->Log(message);
  } catch (const std::exception& error) {
    tick.Failure = error.what();
    if (!underOperation) link.ClosePort();
  }
  return tick;
}
