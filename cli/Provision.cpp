// The batch station: one template, one row of the units table per unit, unit after unit on one
// port (or on whichever port a unit answers), each written, verified, recorded and printed.
//
// Everything is judged before anything is sent: the table's columns must be parameter keys, and
// every row, put into the form over the template, must pass the form's checks. The rows are a
// queue in the station's store (cli/StationStore.h), which other stations may share: a row is
// claimed when a unit is there, the attempt is recorded before the first command, and the row is
// used up only by a unit that was written and verified; after a failure it goes to the next
// unit. Having handled a unit, the station waits until that unit is gone from its port before it
// takes another there (cli/Arrivals.cpp). The stop signals (blocked since main) are looked at only
// between units; the table's judgement is cli/UnitsTable's.
#include <QFile>
#include <QSysInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Arrivals.h"
#include "cli/Cli.h"
#include "cli/ProvisionLog.h"
#include "cli/Slots.h"
#include "cli/StationEvents.h"
#include "cli/StationStore.h"
#include "cli/StopSignals.h"
#include "cli/UnitsTable.h"
#include "link/Text.h"
#include "link/VestraError.h"
#include "params/Encodings.h"
#include "params/ParamList.h"
#include "params/ParamText.h"
#include "transfer/CodeTable.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kVerifyWait = "Проверка записи...";

std::string UnitName(const TPlan& plan, int ordinal) {
  if (!plan.Label.empty()) return plan.Label;
  return std::to_string(plan.Row > 0 ? plan.Row : ordinal);
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

double Seconds(TClock::duration span) { return std::chrono::duration<double>(span).count(); }

// The rows of the table as the store keeps them, identified by the template and their content.
std::vector<TStoreRow> StoreRows(const QByteArray& templateBytes, const std::vector<TPlan>& plans) {
  std::vector<TStoreRow> rows;
  std::map<std::string, int> seen;  // equal rows are rows of their own, told apart by order
  for (const TPlan& plan : plans) {
    std::vector<std::string> own(plan.Lines.begin(),
                                 plan.Lines.begin() + static_cast<long>(plan.OwnLines));
    std::string values;
    for (auto& line : own) values += (values.empty() ? "" : "\n") + (line = Cp1251ToUtf8(line));
    const std::string content = plan.Label + '\0' + values;
    rows.push_back({TStationStore::RowIdentity(templateBytes, plan.Label, own, seen[content]++),
                    plan.Row, plan.Label, values});
  }
  return rows;
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

  const bool queue = session.Options.isSet("units");
  // Several ports, any port, or events asked for: a station of slots, a worker for each.
  const bool supervising =
      slot == 0 && (ports.size() > 1 || automatic || session.Options.isSet("json"));
  // A slot is a station of the record in its own right: a restarted worker marks its own
  // predecessor's attempt interrupted and releases its claim, never another slot's.
  std::string station = session.Options.isSet("station")
                            ? session.Options.value("station").toStdString()
                            : QSysInfo::machineHostName().toStdString() + ":" +
                                  (automatic ? std::string("auto") : ports.front());
  if (slot > 0 && session.Options.isSet("station"))
    station += "/" + std::to_string(slot) + ":" + ports.front();
  // The store and the log are ready, or the station stops, before anything is sent.
  std::unique_ptr<TStationStore> store;
  std::unique_ptr<TProvisionLog> log;
  try {
    const QString templateFile = session.Options.positionalArguments().value(0);
    QFile file(templateFile);
    if (!file.open(QIODevice::ReadOnly))
      throw EVestraError("Не удалось открыть файл " + templateFile.toStdString());
    const QByteArray templateBytes = file.readAll();
    const auto storeRows = queue ? StoreRows(templateBytes, plans) : std::vector<TStoreRow>();
    store = std::make_unique<TStationStore>(StationDb(session), station);
    store->OpenBatch(TStationStore::BatchIdentity(templateBytes, storeRows), storeRows);
    log = std::make_unique<TProvisionLog>(session.Options.value("log"));
    // The supervisor's name is no worker's; each worker marks its own slot's attempts.
    for (const TAttemptRecord& interrupted :
         supervising ? std::vector<TAttemptRecord>() : store->MarkInterrupted()) {
      log->Append(TProvisionLog::Fields(interrupted));
      person.Say("Прервана попытка " + interrupted.Time + " на " + interrupted.Port +
                 (interrupted.Position > 0 ? ", строка " + std::to_string(interrupted.Position)
                                           : std::string()));
    }
  } catch (const std::exception& error) {
    form.ShowError(error.what());
    return ExitFailed;
  }
  if (supervising) {
    TStationSetup setup;
    setup.Ports = automatic ? std::vector<std::string>() : ports;
    setup.Automatic = automatic;
    setup.Store = queue ? store.get() : nullptr;
    setup.Count = count;
    setup.Json = session.Options.isSet("json");
    log.reset();  // made, with its header, before any worker appends to it
    return SuperviseSlots(session, setup);
  }
  TSlotReport report(slot);

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
  TArrivals arrivals(form, person, ports, stop.Fd());
  if (report.On())
    arrivals.OnLeft([&report](const std::string&) { report.Send(TEventKind::Left); });
  try {
    for (;;) {
      if (queue && store->Counts().Left == 0) {
        person.Say("Все строки таблицы записаны");
        break;
      }
      if ((count > 0 && handled >= count) || stop.Wait(0ms)) break;

      if (!report.On())
        person.Say("Ожидание блока на " + (automatic ? std::string("любом порту") : ports.front()) +
                   "...");
      const auto waitStart = TClock::now();
      std::optional<TUnit> unit = arrivals.WaitForUnit();
      if (!unit) break;
      report.Unit = {};
      report.Unit.Port = unit->Port;
      report.Unit.Device = unit->Device;
      report.Unit.Firmware = unit->Version;
      report.Send(TEventKind::Arrived);
      // The attempt is on record before the first command of the write.
      std::optional<TClaim> claim;
      long long attempt = 0;
      if (!queue) {
        attempt = store->StartAttempt(unit->Port, unit->Device, unit->Version);
      } else {
        claim = store->Claim(unit->Port, unit->Device, unit->Version);
        if (!claim && store->Counts().Left > 0) {
          // Every open row is another station's now; one comes back when its unit fails.
          person.Say("Свободных строк нет: их пишут другие станции");
          while (!claim && store->Counts().Left > 0 && !stop.Wait(1000ms))
            claim = store->Claim(unit->Port, unit->Device, unit->Version);
        }
        if (!claim) continue;  // all done, or stopped: the top of the loop tells which
        attempt = claim->Attempt;
      }
      // The claim names the table's row; empty rows were left out, so look it up by number.
      const TPlan& plan =
          claim ? *std::find_if(plans.begin(), plans.end(),
                                [&](const TPlan& p) { return p.Row == claim->Position; })
                : plans[0];
      report.Unit.Row = plan.Row;
      report.Unit.Label = plan.Label;
      report.Send(TEventKind::Claimed);
      std::optional<TLeaseKeeper> keeper;
      if (claim) keeper.emplace(StationDb(session), station, *claim);
      const auto writeStart = TClock::now();
      const TOutcome outcome = WriteUnit(session, *unit, plan);
      ++handled;
      anyError |= outcome.Result == "error";
      anyDifference |= outcome.Result == "differences";
      keeper.reset();
      const TOutcomeRecord record{outcome.Result, outcome.Detail, Seconds(writeStart - waitStart),
                                  Seconds(outcome.VerifyStart - writeStart),
                                  Seconds(outcome.End - outcome.VerifyStart)};
      const bool own = store->CompleteAttempt(attempt, claim ? &*claim : nullptr, record);
      log->Append(TProvisionLog::Fields(store->Attempt(attempt)));
      report.Unit.Firmware = unit->Version;
      if (outcome.Result == "ok") report.Send(TEventKind::Verified);
      report.Send(TEventKind::Finished, [&](TStationEvent& event) {
        event.Result = record.Result;
        event.Detail = record.Detail;
        event.WaitS = record.WaitS;
        event.WriteS = record.WriteS;
        event.VerifyS = record.VerifyS;
      });
      if (!report.On())
        PrintLine(unit->Port + " блок " + UnitName(plan, handled) + " (" + unit->Version +
                  "): " + outcome.Said);
      if (!own)
        person.Say("Внимание: строку " + std::to_string(plan.Row) +
                   " уже записала другая станция, пока эта станция не продлевала захват");
      arrivals.Handled(*unit);
    }
  } catch (const std::exception& error) {
    // A station that cannot keep its record must not go on writing units nobody will know of.
    report.Send(TEventKind::Error, [&](TStationEvent& event) { event.Detail = error.what(); });
    form.ShowError(error.what());
    return ExitFailed;
  }
  // A worker's units are told by its events; its own exit is for failures of the slot itself.
  if (report.On()) return ExitDone;
  // The wait for a unit ends on a stop without taking the signal: take it here.
  if (stop.Wait(0ms)) {
    person.Say("Остановлено: " + stop.Name());
    return stop.ExitCode();
  }
  return anyError ? ExitFailed : anyDifference ? ExitDifferences : ExitDone;
}
