// The receive monitor: while `SBGPS` is down, every timer tick keeps the selected port open and
// moves at most one message the unit sent into the log. It never sends anything.
#include <exception>
#include <string>

#include "form/FmMain.h"

void TFmMain::TimerTimer() {
  if (!MonitorOn()) return;
  if (OperationRunning) {
    // The operation is asking the person a question and holds the link open: show what
    // arrives, but leave a failure to the operation, which reports it once and closes the link
    // (closed here, the operation would go on writing to a closed port and report that too).
    if (Link.PortHandle < 0 || !LinkFailureSeenByTick.empty()) return;
    try {
      const std::string message = Link.ReadAnswer();
      if (!message.empty()) Person->Log(message);
    } catch (const std::exception& error) {
      LinkFailureSeenByTick = error.what();
    }
    return;
  }
  if (!Link.OpenPort(PortName()).empty()) {
    // Retried silently on the next tick. A port that was opened but could not be set up is
    // let go, so that the retry starts from a fresh open instead of reading a half-set line.
    Link.ClosePort();
    return;
  }
  try {
    const std::string message = Link.ReadAnswer();
    if (!message.empty()) Person->Log(message);
  } catch (const std::exception& error) {
    // The device went away: say so once and stop, instead of failing again every 100 ms. The
    // monitor is off before the box opens, since ticks go on running under a modal box.
    ReleaseMonitor();
    Link.ClosePort();
    ShowError(error.what());
  }
}

void TFmMain::SBGPSClick() {
  if (!MonitorOn()) Link.ClosePort();
}
