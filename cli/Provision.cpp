// The batch station: one template, one row of the units table per unit, unit after unit on one
// port (or on whichever port a unit answers), each written, verified, logged and printed.
//
// Everything is judged before anything is sent: the table's columns must be parameter keys, and
// every row, put into the form over the template, must pass the form's checks. A row is used up
// only by a unit that was written and verified; after a failure it goes to the next unit. Having
// handled a unit, the station waits until that unit is gone from its port before it takes
// another there. The stop signals (blocked since main) are looked at only between units; the
// table's judgement is cli/UnitsTable's.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QDateTime>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/ProvisionLog.h"
#include "cli/SlotClaims.h"
#include "cli/Slots.h"
#include "cli/StationEvents.h"
#include "cli/StopSignals.h"
#include "cli/UnitsTable.h"
#include "link/Text.h"
#include "params/Encodings.h"
#include "params/ParamFile.h"
#include "params/ParamList.h"
#include "params/ParamText.h"
#include "transfer/CodeTable.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kVerifyWait = "Проверка записи...";

struct TUnit {
  std::string Port, Device, Version;
};

std::string UnitName(const TPlan& plan, int ordinal) {
  if (!plan.Label.empty()) return plan.Label;
  return std::to_string(plan.Row > 0 ? plan.Row : ordinal);
}

std::string Seconds(TClock::duration span) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(span).count());
  return text;
}

// The firmware version of a unit on `port`, empty when none answers there.
std::string Probe(TLink& link, const std::string& port) {
  std::string version;
  if (link.OpenPort(port).empty()) {
    try {
      version = link.ReadVersion();
    } catch (const std::exception&) {
      // No unit, or not one that answers as a unit: nothing there.
    }
  }
  link.ClosePort();
  return version;
}

// A slot's worker tells its station what happens, one event per line on standard output; a
// station of its own (no --slot) tells nobody.
class TSlotReport {
 public:
  explicit TSlotReport(int slot) : Slot(slot) {}
  bool On() const { return Slot > 0; }
  // What is known of the unit at hand; every event carries it.
  TStationEvent Unit;

  void Send(TEventKind kind, const std::function<void(TStationEvent&)>& fill = {}) const {
    if (!On()) return;
    TStationEvent event = Unit;
    event.Kind = kind;
    event.Slot = Slot;
    if (fill) fill(event);
    PrintLine(EventJson(event).toStdString());
  }

 private:
  int Slot;
};

// Waits, probing about once a second, for a unit on one of `ports` that is not the unit handled
// there last (`leaving`, which forgets a unit once it is gone). None when a stop signal came.
std::optional<TUnit> WaitForUnit(TFmMain& form, TTerminalPerson& person,
                                 const std::vector<std::string>& ports,
                                 std::map<std::string, std::string>& leaving, TStopSignals& stop,
                                 TSlotReport& report) {
  for (;;) {
    for (const std::string& port : ports) {
      const std::string device = form.Link.Resolver(port);
      const std::string version = Probe(form.Link, port);
      if (auto last = leaving.find(port); last != leaving.end()) {
        if (last->second == device && !version.empty()) continue;  // still the last one
        leaving.erase(last);
        if (report.On())
          report.Send(TEventKind::Left);
        else
          person.Say(port + ": блок отключён");
      }
      if (!version.empty()) return TUnit{port, device, Cp1251ToUtf8(version)};
    }
    if (stop.Wait(1000ms)) return std::nullopt;
  }
}

// What became of one unit, in the log's words and the station's.
struct TOutcome {
  std::string Result = "ok", Detail, Said = "записано и проверено";
  TClock::time_point VerifyStart, End;
};

// The plan into the form, then the window's own write with its verification.
TOutcome WriteUnit(TSession& session, TUnit& unit, const TPlan& plan) {
  TFmMain& form = *session.Form;
  TTerminalPerson& person = *session.Person;
  form.ApplyParameterLines(plan.Lines);
  session.SelectPort(QString::fromStdString(unit.Port));
  person.Waits.clear();
  person.ForgetFailure();
  form.ActWriteExecute();

  TOutcome outcome;
  outcome.End = outcome.VerifyStart = TClock::now();
  for (const auto& [text, when] : person.Waits)
    if (text == kVerifyWait) outcome.VerifyStart = when;
  if (!person.Version().empty()) unit.Version = person.Version();
  if (person.Failure() || !form.LastDifferences) {
    outcome.Result = "error";
    outcome.Detail = person.Failure().value_or("Неизвестная ошибка");
    outcome.Said = "ошибка: " + outcome.Detail;
  } else if (!form.LastDifferences->empty()) {
    outcome.Result = "differences";
    for (const auto& difference : *form.LastDifferences)
      outcome.Detail += (outcome.Detail.empty() ? "" : " ") + difference.Code;
    outcome.Said = "расхождения: " + outcome.Detail;
  }
  return outcome;
}

std::string LocalTimeIso8601() {
  const QDateTime now = QDateTime::currentDateTime();
  return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

}  // namespace

int RunProvision(TSession& session) {
  TFmMain& form = *session.Form;
  TTerminalPerson& person = *session.Person;
  std::vector<TPlan> plans;
  if (auto refused = JudgePlans(session, plans)) return *refused;

  int count = 0;
  if (session.Options.isSet("count")) {
    auto n = ToInteger(session.Options.value("count").toStdString());
    if (!n || *n <= 0) throw EUsage{"--count принимает целое число больше 0"};
    count = *n;
  }
  int slot = 0;
  if (session.Options.isSet("slot")) {
    auto n = ToInteger(session.Options.value("slot").toStdString());
    if (!n || *n <= 0) throw EUsage{"--slot принимает целое число больше 0"};
    slot = *n;
  }
  const QStringList portValues = session.Options.values("port");
  const bool automatic = portValues.contains("auto");
  std::vector<std::string> ports;
  if (automatic) {
    for (int i = 0; i < form.CBPort->count(); ++i)
      ports.push_back(form.CBPort->itemText(i).toStdString());
  } else {
    for (const QString& port : portValues) {
      session.SelectPort(port);
      ports.push_back(form.PortName());
    }
    if (ports.empty()) {
      session.SelectPort();
      if (form.PortName().empty()) throw EUsage{"не выбран порт: укажите --port"};
      ports.push_back(form.PortName());
    }
  }

  std::unique_ptr<TProvisionLog> log;
  try {
    log = std::make_unique<TProvisionLog>(session.Options.value("log"));
  } catch (const std::exception& error) {
    form.ShowError(error.what());
    return ExitFailed;
  }
  std::set<int> done = log->DoneRows();
  std::vector<int> rows;  // the table's, in order
  for (const TPlan& plan : plans)
    if (plan.Row > 0) rows.push_back(plan.Row);

  // Several ports, any port, or events asked for: a station of slots, a worker for each.
  if (slot == 0 && (ports.size() > 1 || automatic || session.Options.isSet("json"))) {
    TStationSetup setup;
    setup.Ports = automatic ? std::vector<std::string>() : ports;
    setup.Automatic = automatic;
    setup.Rows = static_cast<int>(rows.size());
    for (int row : rows) setup.DoneBefore += done.count(row) ? 1 : 0;
    setup.Count = count;
    setup.Json = session.Options.isSet("json");
    log.reset();  // made, with its header, before any worker appends to it
    return SuperviseSlots(session, setup);
  }
  TSlotReport report(slot);
  // The slots of one station share the rows through the station's claims file, a stand-in
  // until the queue and its claims live in the station's database.
  std::unique_ptr<TSlotClaims> claims;
  if (session.Options.isSet("claims") && !rows.empty())
    claims = std::make_unique<TSlotClaims>(session.Options.value("claims"), done);

  // The station's output is one line per unit; the differing codes go with the other notes.
  person.DifferencesTo = stderr;
  form.VerifyAfterWrite = true;
  if (report.On())
    person.Progress = [&report](const std::string& wait, int step) {
      const bool verifying = wait == kVerifyWait;
      if (verifying && step == 0) report.Send(TEventKind::Written);
      if (step == 0) return;
      report.Send(TEventKind::Progress, [&](TStationEvent& event) {
        event.Phase = verifying ? "verify" : "write";
        event.Step = step;
        event.Steps = static_cast<int>(CodeCount);
      });
    };
  TStopSignals stop;

  int handled = 0;
  bool anyError = false, anyDifference = false;
  std::map<std::string, std::string> leaving;  // port -> device of the unit handled there last
  auto open = [&](const TPlan& plan) { return done.count(plan.Row) == 0; };
  for (;;) {
    auto next = claims ? (claims->AllDone(rows) ? plans.end() : plans.begin())
                       : std::find_if(plans.begin(), plans.end(), open);
    if (next == plans.end()) {
      person.Say("Все строки таблицы записаны");
      break;
    }
    if ((count > 0 && handled >= count) || stop.Wait(0ms)) break;

    if (!report.On())
      person.Say("Ожидание блока на " + (automatic ? std::string("любом порту") : ports.front()) +
                 "...");
    const auto waitStart = TClock::now();
    std::optional<TUnit> unit = WaitForUnit(form, person, ports, leaving, stop, report);
    if (!unit) break;
    report.Unit = {};
    report.Unit.Port = unit->Port;
    report.Unit.Device = unit->Device;
    report.Unit.Firmware = unit->Version;
    report.Send(TEventKind::Arrived);
    if (claims) {
      bool allDone = false;
      const std::optional<int> row = claims->Claim(rows, allDone);
      if (!row) {
        if (allDone) continue;
        person.Say(unit->Port + ": свободных строк нет, остальные пишут другие слоты");
        leaving[unit->Port] = unit->Device;
        continue;
      }
      next = std::find_if(plans.begin(), plans.end(),
                          [&](const TPlan& plan) { return plan.Row == *row; });
    }
    report.Unit.Row = next->Row;
    report.Unit.Label = next->Label;
    report.Send(TEventKind::Claimed);
    const auto writeStart = TClock::now();
    const TOutcome outcome = WriteUnit(session, *unit, *next);
    ++handled;
    anyError |= outcome.Result == "error";
    anyDifference |= outcome.Result == "differences";
    try {
      log->Append({LocalTimeIso8601(), unit->Port, unit->Device, unit->Version,
                   next->Row > 0 ? std::to_string(next->Row) : std::string(), next->Label,
                   outcome.Result, outcome.Detail, Seconds(writeStart - waitStart),
                   Seconds(outcome.VerifyStart - writeStart),
                   Seconds(outcome.End - outcome.VerifyStart)});
    } catch (const std::exception& error) {
      // A station that cannot log must not go on writing units nobody will know of.
      report.Send(TEventKind::Error, [&](TStationEvent& event) { event.Detail = error.what(); });
      form.ShowError(error.what());
      return ExitFailed;
    }
    if (claims) claims->Finish(next->Row, outcome.Result == "ok");
    report.Unit.Firmware = unit->Version;
    if (outcome.Result == "ok") report.Send(TEventKind::Verified);
    report.Send(TEventKind::Finished, [&](TStationEvent& event) {
      event.Result = outcome.Result;
      event.Detail = outcome.Detail;
      event.WaitS = std::chrono::duration<double>(writeStart - waitStart).count();
      event.WriteS = std::chrono::duration<double>(outcome.VerifyStart - writeStart).count();
      event.VerifyS = std::chrono::duration<double>(outcome.End - outcome.VerifyStart).count();
    });
    if (!report.On())
      PrintLine(unit->Port + " блок " + UnitName(*next, handled) + " (" + unit->Version +
                "): " + outcome.Said);
    if (outcome.Result == "ok" && next->Row > 0) done.insert(next->Row);
    leaving[unit->Port] = unit->Device;
  }
  // A worker's units are told by its events; its own exit is for failures of the slot itself.
  if (report.On()) return ExitDone;
  if (stop.Signal()) {
    person.Say("Остановлено: " + stop.Name());
    return stop.ExitCode();
  }
  return anyError ? ExitFailed : anyDifference ? ExitDifferences : ExitDone;
}
