// Verifying a write: after the final command the unit stores its settings and may restart, or
// even drop off the bus and come back as a new device; only once it answers "#V" again are the
// codes read back.
#include <cerrno>
#include <chrono>

#include "form/FmMain.h"
#include "link/DeviceWatch.h"
#include "link/VestraError.h"
#include "transfer/Comparison.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kNoAnswer = "Нет ответа от RAD";

void Log(TFmMain& form, const std::string& message) {
  if (!message.empty()) form.Person->Log(message);
}

// The device went away: the port is closed and opened again once a device is back under the
// same port name. Raises "Нет ответа от RAD" when none is back by the deadline.
void Reopen(TFmMain& form, TClock::time_point deadline) {
  form.Link.ClosePort();
  const std::string port = form.PortName();
  // Watching before trying: a device that comes back between the two is not missed.
  TDeviceWatch watch({form.Link.Resolver(port)});
  for (;;) {
    if (form.Link.OpenPort(port).empty()) return;
    form.Link.ClosePort();  // an open that failed half-way still holds the device
    // A device back but not accessible or not ready yet changes without telling: tried again
    // soon. Otherwise the next change is awaited.
    const int error = form.Link.LastError();
    const bool early = error == EACCES || error == EIO || error == ENXIO;
    const auto until = early ? std::min(deadline, TClock::now() + 50ms) : deadline;
    if (!watch.Wait(until) && TClock::now() >= deadline) throw EVestraError(kNoAnswer);
    watch.TakeEvents();
  }
}

// Asks "#V" once and waits up to `patience` for an answer beginning with "#V"; other messages
// are logged and dropped.
bool AnswersVersion(TFmMain& form, TClock::duration patience, TClock::time_point deadline) {
  form.Link.SendCommand("#V\r");
  const auto giveUp = std::min(TClock::now() + patience, deadline);
  while (TClock::now() < giveUp) {
    const std::string message = form.Link.ReadAnswer();
    Log(form, message);
    if (message.rfind("#V", 0) == 0) return true;
  }
  return false;
}

}  // namespace

std::vector<TCodeDifference> VerifyWrite(TFmMain& form, std::span<const TCodeValue> sent) {
  const auto deadline = TClock::now() + RestartDeadline;
  const auto settled = TClock::now() + form.SettleAfterSave;
  // A restarting unit drops what it gets, so the question is asked again now and then; each
  // time the unit gets longer to answer, so that a slow unit's late answer is not taken for the
  // answer to a later command.
  TClock::duration patience = 1s;
  for (bool back = false; !back;) {
    if (TClock::now() >= deadline) throw EVestraError(kNoAnswer);
    try {
      // Whatever the unit says while it stores (an "#OK" to "#S") is heard out, not answered.
      while (TClock::now() < settled) Log(form, form.Link.ReadAnswer());
      back = AnswersVersion(form, patience, deadline);
      patience += 1s;
    } catch (const EVestraError&) {
      // Only the link raises here: the device has gone.
      Reopen(form, deadline);
    }
  }
  return CompareWithUnit(form, sent);
}
