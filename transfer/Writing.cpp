// Writing a gathered configuration into the unit, then the verification when asked for.
#include <algorithm>
#include <ctime>
#include <exception>
#include <string>

#include "link/Text.h"
#include "link/VestraError.h"
#include "transfer/CodeTable.h"
#include "transfer/UnitSession.h"

namespace {

using TClock = TWriteReport::TClock;

// Notes when a phase of the report began; the one before ends there.
void Begin(TWriteReport& report, TPhase phase) {
  const auto now = TClock::now();
  if (!report.Phases.empty()) report.Phases.back().Ended = now;
  report.Phases.push_back({phase, now, now});
}

}  // namespace

// Sends exactly what a comparison compares with, noting each code as it goes.
void TUnitSession::SendCodes(TWriteReport& report, const TParamList& params, int versionNumber) {
  const std::vector<TCodeValue> planned = PlannedWrite(params, versionNumber);
  for (const TCodeRow& row : CodeTable()) {
    const bool sent = std::any_of(planned.begin(), planned.end(),
                                  [&](const TCodeValue& code) { return code.Code == row.Code; });
    if (!sent) report.LeftOut.emplace_back(row.Code);
  }
  for (const TCodeValue& code : planned) {
    report.Sent.push_back(code);
    Link.WriteParameter(code.Code, code.Value);
    Tell(TPhase::Write, static_cast<int>(report.Sent.size()), static_cast<int>(planned.size()));
  }
}

// Sets the unit's clock to the PC's local time.
void TUnitSession::SetClock() {
  std::time_t now = std::time(nullptr);
  // The standard's own call on both systems; an operation runs on one thread alone.
  const std::tm local = *std::localtime(&now);
  std::string answer = Link.ExecuteForAnswer(ClockCommand(local));
  if (Link.CheckAnswerError(answer))
    TLink::RequireOk(answer);
  else
    Link.GoOnOrAbort(
        "Установка времени не поддерживается (возможно следует обновить прошивку RAD). "
        "Продолжить?");
}

TWriteReport TUnitSession::WriteConfiguration(
    const std::string& port, const TParamList& params,
    const std::function<void(const TWriteReport&)>& beforeClose) {
  TWriteReport report;
  Asked.Noted = &report.Questions;
  // Not the common frame: the port is closed at the end in every case, the monitor's included.
  try {
    Asked.ShowWait("Запись параметров Вестра...");
    Begin(report, TPhase::Open);
    Tell(TPhase::Open);
    if (const std::string failure = Link.OpenPort(port); !failure.empty())
      throw EVestraError(failure);
    if (!KeepPortOpen) Link.FlushInput();
    report.Version = Link.ReadVersion();
    const int versionNumber = VersionNumber(report.Version);
    Begin(report, TPhase::Write);
    SendCodes(report, params, versionNumber);
    // Firmware from 4.00 on keeps its own time.
    if (Values.Checked("CBSetTime") && versionNumber < 400) SetClock();
    if (BeforeSave) BeforeSave();
    // The final command is not answered; nothing is read after it.
    Begin(report, TPhase::Save);
    Tell(TPhase::Save);
    Link.SendCommand("#S\r");
    if (VerifyAfterWrite) {
      report.Differences = VerifyWrite(port, report);
      if (report.Differences->empty())
        Asked.Log(Utf8ToCp1251("Проверено: " + std::to_string(report.Sent.size()) +
                               " параметров совпадают")
                      .value_or(""));
    }
    Begin(report, TPhase::Done);
    Tell(TPhase::Done);
  } catch (const std::exception& error) {
    report.Failure = error.what();
  } catch (...) {
    report.Failure = std::string();
  }
  if (!report.Phases.empty()) report.Phases.back().Ended = TClock::now();
  Asked.Noted = nullptr;
  Asked.HideWait();
  if (beforeClose) beforeClose(report);
  Link.ClosePort();
  return report;
}
