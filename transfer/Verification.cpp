// Verifying a write: after the final command the unit stores its settings and may restart, or
// even drop off the bus and come back as a new device; only once it answers "#V" again are the
// codes read back.
#include <cerrno>
#include <chrono>
#include <vector>

#include "link/DeviceWatch.h"
#include "link/VestraError.h"
#include "transfer/UnitSession.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kNoAnswer = "Нет ответа от RAD";

void Log(TLink& link, const std::string& message) {
  if (!message.empty() && link.Person) link.Person->Log(message);
}

// The device went away: the port is closed and opened again once a device is back under the
// same port name. Raises "Нет ответа от RAD" when none is back by the deadline.
void Reopen(TLink& link, const std::string& port, TClock::time_point deadline) {
  link.ClosePort();
  // Watching before trying: a device that comes back between the two is not missed.
  TDeviceWatch watch({link.Resolver(port)});
  for (;;) {
    if (link.OpenPort(port).empty()) return;
    link.ClosePort();  // an open that failed half-way still holds the device
    // A device back but not accessible or not ready yet changes without telling: tried again
    // soon. Otherwise the next change is awaited.
    const int error = link.LastError();
    const bool early = error == EACCES || error == EIO || error == ENXIO;
    const auto until = early ? std::min(deadline, TClock::now() + 50ms) : deadline;
    if (!watch.Wait(until) && TClock::now() >= deadline) throw EVestraError(kNoAnswer);
    watch.TakeEvents();
  }
}

// Asks "#V" once, noting when in `asked`, and waits up to `patience` for an answer beginning
// with "#V"; other messages are logged and dropped.
bool AnswersVersion(TLink& link, TClock::duration patience, TClock::time_point deadline,
                    std::vector<TClock::time_point>& asked) {
  link.SendCommand("#V\r");
  asked.push_back(TClock::now());
  const auto giveUp = std::min(TClock::now() + patience, deadline);
  while (TClock::now() < giveUp) {
    const std::string message = link.ReadAnswer();
    Log(link, message);
    if (message.rfind("#V", 0) == 0) return true;
  }
  return false;
}

// A slow unit answers every "#V" it was asked, each as late as the first: those answers are
// heard out now, or a read-back would take one for its own. A unit may take the questions all at
// once or one at a time, reading the next only once it has answered the one before: so each
// later answer comes no later than its asking or the answer before it, whichever is later, plus
// the time the first answer took. A unit that dropped questions while it restarted has no answer
// left to give, and the wait ends at that bound. The restart's deadline does not cut this short:
// the unit is back, and an answer left unheard would be taken for a read-back's.
void HearOutVersions(TLink& link, const std::vector<TClock::time_point>& asked) {
  const auto slowest = TClock::now() - asked.front();
  auto previous = TClock::now();  // when the answer before was heard
  for (std::size_t next = 1; next < asked.size(); ++next) {
    const auto until = std::max(asked[next], previous) + slowest + 200ms;
    bool heard = false;
    while (!heard && TClock::now() < until) {
      const std::string message = link.ReadAnswer();
      Log(link, message);
      heard = message.rfind("#V", 0) == 0;
    }
    if (!heard) return;
    previous = TClock::now();
  }
}

}  // namespace

std::vector<TCodeDifference> TUnitSession::VerifyWrite(const std::string& port,
                                                       TWriteReport& report) {
  Asked.ShowWait("Проверка записи...");
  const auto deadline = TClock::now() + RestartDeadline;
  const auto settled = TClock::now() + SettleAfterSave;
  // A restarting unit drops what it gets, so the question is asked again now and then; each
  // time the unit gets longer to answer, so that a slow unit's late answer is not taken for the
  // answer to a later command.
  TClock::duration patience = 1s;
  std::vector<TClock::time_point> asked;  // what the device on the line now was asked
  for (bool back = false; !back;) {
    if (TClock::now() >= deadline) throw EVestraError(kNoAnswer);
    try {
      // Whatever the unit says while it stores (an "#OK" to "#S") is heard out, not answered.
      while (TClock::now() < settled) Log(Link, Link.ReadAnswer());
      back = AnswersVersion(Link, patience, deadline, asked);
      patience += 1s;
    } catch (const EVestraError&) {
      // Only the link raises here: the device has gone.
      Reopen(Link, port, deadline);
      asked.clear();
    }
  }
  const auto back = TClock::now();
  if (!report.Phases.empty()) report.Phases.back().Ended = back;
  report.Phases.push_back({TPhase::Back, back, back});
  Tell(TPhase::Back);
  HearOutVersions(Link, asked);
  report.Phases.push_back({TPhase::Verify, TClock::now(), TClock::now()});
  return ReadBack(report.Sent, TPhase::Verify);
}
