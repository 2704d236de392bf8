// The batch station: one template, one row of the units table per unit, unit after unit on one
// port (or on whichever port a unit answers), each written, verified, recorded and printed.
//
// Everything is judged before anything is sent: the table's columns must be parameter keys, and
// every row, put into the form over the template, must pass the form's checks. The rows are a
// queue in the station's store (station/StationStore.h), which other stations may share: a row is
// claimed when a unit is there, the attempt is recorded before the first command, and the row is
// used up only by a unit that was written and verified; after a failure it goes to the next
// unit. Having handled a unit, the station waits until that unit is gone from its port before it
// takes another there (station/Arrivals.cpp). A verified unit's outcome is kept in the station's
// journal before the database is asked (station/OutcomeJournal.h), and a database that fails is
// tried again, with a growing pause, before any other unit is taken. The stop signals (blocked
// since main) are looked at only between units and during those pauses; the table's judgement is
// station/UnitsTable's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/Text.h"
#include "link/VestraError.h"
#include "params/Encodings.h"
#include "params/ParamList.h"
#include "params/ParamText.h"
#include "station/Arrivals.h"
#include "station/OutcomeJournal.h"
#include "station/ProvisionLog.h"
#include "station/ProvisionSetup.h"
#include "station/Scans.h"
#include "station/Session.h"
#include "station/Slots.h"
#include "station/StationEvents.h"
#include "station/StationState.h"
#include "station/StationStore.h"
#include "station/StopSignals.h"
#include "station/System.h"
#include "station/UnitJudge.h"
#include "station/UnitsTable.h"
#include "transfer/CodeTable.h"
#include "transfer/Differences.h"
#include "transfer/UnitSession.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The longest pause between two tries of a database that failed, in seconds.
constexpr int kLongestPause = 60;
// How often a station waiting for a unit looks whether others have written every row.
constexpr auto kRecordLook = 2s;
// The result of a unit found holding a done row: never written again.
const char* const kAlready = "already";
// The result of an attempt whose row another station took meanwhile: no "#S" was sent.
const char* const kLost = "lost";

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

  // A station of its own keeps its state for the line's dashboard instead, as its one slot.
  TStationStateWriter* States = nullptr;
  std::function<void(const std::string&)> Note;

  void Send(TEventKind kind, const std::function<void(TStationEvent&)>& fill = {}) const {
    if (!On() && !States) return;
    TStationEvent event = Unit;
    event.Kind = kind;
    event.Slot = On() ? Slot : 1;
    if (fill) fill(event);
    if (On())
      PrintLine(EventJson(event).toStdString());
    else if (const std::string note = States->Take(event); !note.empty() && Note)
      Note(note);
  }

 private:
  int Slot;
};

// The row as the station's words name it.
std::string RowName(const TPlan& plan) {
  return "строка " + std::to_string(plan.Row) + (plan.Label.empty() ? "" : " (" + plan.Label + ")");
}

// What became of one unit, in the log's words and the station's.
struct TOutcome {
  std::string Result = "ok", Detail, Said = "записано и проверено";
  TClock::time_point VerifyStart, End;
};

// The plan as the form gathered it, written with its verification on the port the probe left
// open; `beforeClose` runs while the write still has it open.
TOutcome WriteUnit(TSession& session, TUnit& unit, const TPlan& plan,
                   const std::function<void()>& beforeClose) {
  try {
    // The port stays open from the probe on, so the write leaves its input alone: what the unit
    // said meanwhile is dropped here, as the write's own open would.
    session.Unit->Link.FlushInput();
  } catch (const EVestraError&) {
    // A unit gone meanwhile: the write says so.
  }
  const TWriteReport report = session.Unit->WriteConfiguration(
      unit.Port, plan.Held, [&](const TWriteReport&) { beforeClose(); });
  TOutcome outcome;
  outcome.End = TClock::now();
  // The verification's time counts from "#S": the unit stores and restarts within it.
  outcome.VerifyStart = report.Began(TPhase::Save).value_or(outcome.End);
  if (!report.Version.empty()) unit.Version = Cp1251ToUtf8(report.Version);
  if (report.Failure || !report.Differences) {
    outcome.Result = "error";
    outcome.Detail =
        report.Failure && !report.Failure->empty() ? *report.Failure : "Неизвестная ошибка";
    outcome.Said = "ошибка: " + outcome.Detail;
    session.ShowError(outcome.Detail);
  } else if (!report.Differences->empty()) {
    outcome.Result = "differences";
    for (const auto& difference : *report.Differences)
      outcome.Detail += (outcome.Detail.empty() ? "" : " ") + difference.Code;
    outcome.Said = "расхождения: " + outcome.Detail;
    ShowDifferences(*session.Person, "Проверка записи", "Записано", *report.Differences);
  }
  return outcome;
}

double Seconds(TClock::duration span) { return std::chrono::duration<double>(span).count(); }

// A unit taken for a row: its attempt on record, the row's claim when there is a table.
struct TTake {
  long long Attempt = 0;
  std::optional<TClaim> Claim;
  const TPlan* Plan = nullptr;
  // Decided before anything is written: nothing will be.
  std::optional<TOutcome> Settled;
  // The template's values the unit's firmware lacks, which the write leaves out.
  std::string Skipped;
  // When the row was claimed, on a clock that also counts a sleeping computer's time.
  long long ClaimedMs = 0;
};

// One port (or any, with --port auto): unit after unit, each waited for, claimed, written with
// its verification and recorded.
class TStationLoop {
 public:
  TStationLoop(TSession& session, const TProvisionOptions& options, const std::vector<TPlan>& plans,
               TStationStore& store, TProvisionLog& log, TOutcomeJournal& journal)
      : Session(session),
        Unit(*session.Unit),
        Person(*session.Person),
        Options(options),
        Plans(plans),
        Store(store),
        Log(log),
        Journal(journal),
        Report(options.Slot),
        Arrivals(Unit, Person, options.Ports, Stop.Fd()),
        DoneRows(Unit, plans) {
    if (options.Slot == 0) {
      TStationNames names = TStationNames::Of(options.Station, false, options.Ports);
      names.Single = true;
      States = std::make_unique<TStationStateWriter>(options.Db, names);
      Report.States = States.get();
      Report.Note = [this](const std::string& note) { Person.Say(note); };
    }
    PrepareOutput();
  }

  int Run() {
    try {
      while (!Finished()) {
        const auto waitStart = TClock::now();
        std::optional<TUnit> unit = WaitForUnit();
        if (!unit) {
          if (Arrivals.AnyPort()) continue;  // stopped, or every row done: the top tells which
          break;
        }
        std::optional<TTake> take = FinishedUnit(*unit);
        if (!take) take = ClaimRow(*unit);
        if (!take) {
          Arrivals.Release(*unit);
          continue;  // all done, or stopped: the top of the loop tells which
        }
        JudgeFirmware(*unit, *take);
        const auto writeStart = TClock::now();
        const TOutcome outcome = WriteAndVerify(*unit, *take);
        if (!Record(*unit, *take, outcome, {waitStart, writeStart})) break;
        Arrivals.Handled(*unit);
      }
    } catch (const std::exception& error) {
      // A station that cannot keep its record must not go on writing units nobody will know of.
      Report.Send(TEventKind::Error, [&](TStationEvent& event) { event.Detail = error.what(); });
      Session.ShowError(error.what());
      return ExitFailed;
    }
    return ExitCode();
  }

 private:
  TSession& Session;
  TUnitSession& Unit;
  TTerminalPerson& Person;
  const TProvisionOptions& Options;
  const std::vector<TPlan>& Plans;
  TStationStore& Store;
  TProvisionLog& Log;
  TOutcomeJournal& Journal;
  std::unique_ptr<TStationStateWriter> States;
  TSlotReport Report;
  TStopSignals Stop;
  TArrivals Arrivals;
  int Handled = 0;
  bool AnyError = false, AnyDifference = false;
  bool GoneSaid = false;  // standard output was found closed
  TDoneRows DoneRows;
  TLineInput Labels{0};  // a scanner's labels, handed on by the station

  // The station's output is one line per unit; the differing codes go with the other notes.
  void PrepareOutput() {
    Arrivals.HoldAs(Options.Station);
    // Another station may write the last row while this one waits for a unit.
    if (Options.Queue)
      Arrivals.EndWhen(
          [this] {
            try {
              return Store.Counts().Left == 0;
            } catch (const EVestraError&) {
              return false;  // the next step says what is wrong with the database
            }
          },
          kRecordLook);
    Person.DifferencesTo = stderr;
    Unit.VerifyAfterWrite = true;
    // From the probe to the unplugging the unit's port stays locked (station/Arrivals.h): the
    // reads and the write find it open and leave it so, and only the write's end closes it.
    Unit.KeepPortOpen = true;
    Unit.Observer = [this](const TStep& step) {
      Person.ShowStep(step);
      if (!Report.On()) return;
      if (step.Phase == TPhase::Save) Report.Send(TEventKind::Written);
      if ((step.Phase != TPhase::Write && step.Phase != TPhase::Verify) || step.Step == 0) return;
      Report.Send(TEventKind::Progress, [&](TStationEvent& event) {
        event.Phase = step.Phase == TPhase::Verify ? "verify" : "write";
        event.Step = step.Step;
        event.Steps = static_cast<int>(CodeCount);
      });
    };
    if (!Report.On()) return;
    Arrivals.OnLeft([this](const std::string&) { Report.Send(TEventKind::Left); });
    // The slot's tile says why its port does not open.
    Arrivals.OnPortFailed([this](const std::string& port, const std::string& why) {
      Report.Send(TEventKind::Error, [&](TStationEvent& event) {
        event.Port = port;
        event.Detail = why;
      });
    });
  }

  // Runs `operation` on the record until the database takes it, taking no unit meanwhile, with a
  // pause that grows between tries (a PostgreSQL connection opened anew before each); false when
  // a stop signal came first.
  template <class TOperation>
  bool Persist(TOperation operation) {
    std::string lastError;
    for (int pause = 1;; pause = std::min(pause * 2, kLongestPause)) {
      try {
        operation();
        return true;
      } catch (const EVestraError& error) {
        const std::string said =
            "запись в базу не удалась, повтор через " + std::to_string(pause) + " с";
        if (error.what() != lastError) Person.Say(error.what());
        lastError = error.what();
        if (Report.On())
          Report.Send(TEventKind::Retry, [&](TStationEvent& event) {
            event.Detail = said;
            event.RetryS = pause;
          });
        else
          Person.Say(said);
        if (Stop.Wait(std::chrono::seconds(pause))) return false;
        try {
          Store.Reconnect();
        } catch (const EVestraError&) {
          // The next try says what is wrong.
        }
      }
    }
  }

  bool Finished() {
    if (OutputGone()) return true;
    int left = 1;
    if (Options.Queue && !Persist([&] { left = Store.Counts().Left; })) return true;
    if (Options.Queue && left == 0) {
      Person.Say("Все строки таблицы записаны");
      return true;
    }
    return (Options.Count > 0 && Handled >= Options.Count) || Stop.Wait(0ms);
  }

  std::optional<TUnit> WaitForUnit() {
    if (!Report.On())
      Person.Say("Ожидание блока на " +
                 (Options.Automatic ? std::string("любом порту") : Options.Ports.front()) + "...");
    std::optional<TUnit> unit = Arrivals.WaitForUnit();
    if (!unit) return unit;
    Report.Unit = {};
    Report.Unit.Port = unit->Port;
    Report.Unit.Device = unit->Device;
    Report.Unit.Firmware = unit->Version;
    Report.Send(TEventKind::Arrived);
    return unit;
  }

  // A unit that holds a row the record has as done is never written again: its attempt is
  // recorded on the row it holds, and it is left alone until it goes.
  std::optional<TTake> FinishedUnit(const TUnit& unit) {
    if (!Options.Queue) return std::nullopt;
    const std::vector<int> done = Store.DonePositions();
    TTake take;
    try {
      take.Plan = DoneRows.HeldBy(unit, done);
    } catch (const EVestraError& error) {
      // Not knowing what the unit holds, the station must not write it.
      static const TPlan noRow;
      take.Plan = &noRow;
      take.Attempt = Store.StartAttempt(unit.Port, unit.Device, unit.Version);
      take.Settled = Settled("error", std::string("блок не прочитан: ") + error.what());
      return take;
    }
    if (!take.Plan) return std::nullopt;
    take.Attempt = Store.StartAttemptOnRow(take.Plan->Row, unit.Port, unit.Device, unit.Version);
    take.Settled = Settled(kAlready, "блок уже записан: " + RowName(*take.Plan));
    Report.Unit.Row = take.Plan->Row;
    Report.Unit.Label = take.Plan->Label;
    return take;
  }

  static TOutcome Settled(const std::string& result, const std::string& detail) {
    TOutcome outcome;
    outcome.Result = result;
    outcome.Detail = detail;
    outcome.Said = result == kAlready ? detail + " — отключите" : "ошибка: " + detail;
    return outcome;
  }

  // The attempt is on record before the first command of the write.
  std::optional<TTake> ClaimRow(const TUnit& unit) {
    TTake take;
    if (!Options.Queue) {
      take.Attempt = Store.StartAttempt(unit.Port, unit.Device, unit.Version);
      take.Plan = &Plans[0];
    } else {
      Store.RequireSameFile();
      if (Options.Scan) return ClaimScanned(unit);
      if (!Persist([&] { take.Claim = Store.Claim(unit.Port, unit.Device, unit.Version); }))
        return std::nullopt;
      if (!take.Claim && Store.Counts().Left > 0) {
        // Every open row is another station's now; one comes back when its unit fails.
        Person.Say("Свободных строк нет: их пишут другие станции");
        while (!take.Claim && Store.Counts().Left > 0 && !Stop.Wait(1000ms))
          take.Claim = Store.Claim(unit.Port, unit.Device, unit.Version);
      }
      if (!take.Claim) return std::nullopt;
      return Claimed(take);
    }
    Report.Unit.Row = take.Plan->Row;
    Report.Unit.Label = take.Plan->Label;
    Report.Send(TEventKind::Claimed);
    return take;
  }

  // A row claimed for the unit: its plan, and the slot told.
  TTake Claimed(TTake take) {
    take.Attempt = take.Claim->Attempt;
    take.ClaimedMs = BootMs();
    // The claim names the table's row; empty rows were left out, so look it up by number.
    take.Plan = &*std::find_if(Plans.begin(), Plans.end(),
                               [&](const TPlan& p) { return p.Row == take.Claim->Position; });
    Report.Unit.Row = take.Plan->Row;
    Report.Unit.Label = take.Plan->Label;
    Report.Send(TEventKind::Claimed);
    return take;
  }

  // With a scanner: nothing but "#V" goes to the unit until its label came, and the unit gets
  // the row with that label, or none, its attempt recorded with the label either way.
  std::optional<TTake> ClaimScanned(const TUnit& unit) {
    const TLabelWait waited =
        WaitForLabel(Labels, Stop.Fd(), static_cast<int>(Unit.Link.PortHandle));
    // Unplugged before its label came: the station gives the slot's next scan to another unit.
    if (waited.Gone) Report.Send(TEventKind::Left);
    if (!waited.Label) return std::nullopt;
    const std::optional<std::string>& label = waited.Label;
    TTake take;
    if (!Persist(
            [&] { take.Claim = Store.ClaimLabel(*label, unit.Port, unit.Device, unit.Version); }))
      return std::nullopt;
    if (!take.Claim) {
      // Done or taken by another station since the scan was checked.
      static const TPlan noRow;
      take.Plan = &noRow;
      take.Attempt = Store.StartAttempt(unit.Port, unit.Device, unit.Version, *label);
      const TLabelRows rows = Store.LabelRows(*label);
      take.Settled =
          Settled("error", rows.Done == rows.Rows && rows.Rows > 0
                               ? "блок с меткой «" + *label + "» уже записан"
                               : "строку с меткой «" + *label + "» пишет другая станция");
      Report.Unit.Label = *label;
      return take;
    }
    return Claimed(take);
  }

  // The window's own write with its verification, the claim kept alive meanwhile and confirmed
  // right before "#S".
  TOutcome WriteAndVerify(TUnit& unit, const TTake& take) {
    TOutcome outcome;
    if (take.Settled) {
      outcome = *take.Settled;
      outcome.VerifyStart = outcome.End = TClock::now();
    } else {
      std::optional<TLeaseKeeper> keeper;
      bool lost = false;
      if (take.Claim) {
        keeper.emplace(Options.Db, Options.Station, *take.Claim, Options.LeaseMs);
        Unit.BeforeSave = [&] {
          // A database that fails just now is waited for: the unit, written but not yet
          // saved, keeps until the claim is confirmed or lost.
          bool held = false;
          try {
            held = Store.ConfirmClaim(*take.Claim);
          } catch (const EVestraError& error) {
            // No station may take a row before its lease runs out: well inside it (half, for
            // clocks that differ), the claim still holds without the database's word.
            if (BootMs() - take.ClaimedMs < Options.LeaseMs / 2) {
              Person.Say(std::string(error.what()) + "; захват в пределах срока, «#S» отправлен");
              return;
            }
            if (!Persist([&] { held = Store.ConfirmClaim(*take.Claim); }))
              throw EVestraError("остановлено до «#S»: захват строки не подтверждён");
          }
          if (held) return;
          lost = true;
          throw EVestraError("захват строки потерян");
        };
      }
      outcome = WriteUnit(Session, unit, *take.Plan, [&] { Arrivals.Follow(unit); });
      Unit.BeforeSave = nullptr;
      if (lost) {
        outcome.Result = kLost;
        outcome.Detail = RowName(*take.Plan) +
                         " досталась другой станции, пока эта не продлевала захват: «#S» не "
                         "отправлен";
        outcome.Said = "не записан: " + outcome.Detail;
      }
      if (!take.Skipped.empty())
        outcome.Detail += (outcome.Detail.empty() ? "" : "; ") + take.Skipped;
    }
    if (outcome.Result != kAlready) ++Handled;
    AnyError |= outcome.Result == "error" || outcome.Result == kLost;
    AnyDifference |= outcome.Result == "differences";
    return outcome;
  }

  // Every value the table gives the unit is one its firmware carries, or nothing is written and
  // the row stays open for another unit; the template's values it lacks are left out, as the
  // window leaves them, and the attempt says which.
  void JudgeFirmware(const TUnit& unit, TTake& take) {
    if (take.Settled) return;
    const TFirmwareVerdict verdict = ::JudgeFirmware(*take.Plan, unit.Version);
    if (!verdict.Refused.empty()) take.Settled = Settled("error", verdict.Refused);
    take.Skipped = verdict.Skipped;
  }

  // Standard output closed (a pipe whose reader ended): what is printed no longer reaches
  // anybody, so the station stops once its unit is handled.
  bool OutputGone() {
    if (!std::ferror(stdout)) return false;
    if (!GoneSaid) Person.Say("Стандартный вывод закрыт: станция остановлена после блока");
    GoneSaid = true;
    return true;
  }

  struct TStarts {
    TClock::time_point Wait, Write;
  };

  // The outcome is on disk in the station's journal before the database is asked, and the
  // database is asked until it takes it; false when a stop came first, the outcome left in the
  // journal for the next start.
  bool Record(const TUnit& unit, const TTake& take, const TOutcome& outcome, TStarts start) {
    const TOutcomeRecord record{outcome.Result,
                                outcome.Detail,
                                Seconds(start.Write - start.Wait),
                                Seconds(outcome.VerifyStart - start.Write),
                                Seconds(outcome.End - outcome.VerifyStart),
                                TStationStore::LocalTime()};
    const TJournaledOutcome kept{take.Attempt, take.Claim ? take.Claim->RowId : 0, take.Plan->Row,
                                 take.Plan->Label, record};
    bool journaled = true;
    try {
      Journal.Keep(kept);
    } catch (const EVestraError& error) {
      journaled = false;
      Person.Say(error.what());
    }
    const std::string what = unit.Port + " блок " + UnitName(*take.Plan, Handled) + ": " +
                             record.Result + (record.Detail.empty() ? "" : " " + record.Detail);
    auto sayKept = [&] {
      Person.Say(journaled ? "Исход не записан в базу данных и сохранён в журнале станции " +
                                 Journal.Path() + " (запишется при следующем запуске): " + what
                           : "Исход не записан ни в базу данных, ни в журнал станции: " + what);
    };
    try {
      Store.RequireSameFile();
    } catch (const EVestraError&) {
      sayKept();
      throw;
    }
    bool own = true;
    std::optional<TAttemptRecord> recorded;
    if (!Persist([&] {
          own = Store.CompleteAttempt(take.Attempt, take.Claim ? &*take.Claim : nullptr, record);
          recorded = Store.Attempt(take.Attempt);
        })) {
      sayKept();
      return false;
    }
    Journal.Clear();
    Log.Append(TProvisionLog::Fields(*recorded));
    Report.Unit.Firmware = unit.Version;
    if (outcome.Result == "ok") Report.Send(TEventKind::Verified);
    Report.Send(TEventKind::Finished, [&](TStationEvent& event) {
      event.Result = record.Result;
      event.Detail = record.Detail;
      event.WaitS = record.WaitS;
      event.WriteS = record.WriteS;
      event.VerifyS = record.VerifyS;
    });
    if (!Report.On())
      PrintLine(unit.Port + " блок " + UnitName(*take.Plan, Handled) + " (" + unit.Version +
                "): " + outcome.Said);
    if (!own)
      Person.Say("Внимание: строку " + std::to_string(take.Plan->Row) +
                 " уже записала другая станция, пока эта станция не продлевала захват");
    return true;
  }

  int ExitCode() {
    // A worker's units are told by its events; its own exit is for failures of the slot itself.
    if (Report.On()) return ExitDone;
    if (GoneSaid || !Arrivals.AnyPort()) return ExitFailed;
    // The wait for a unit ends on a stop without taking the signal: take it here.
    if (Stop.Wait(0ms)) {
      Person.Say("Остановлено: " + Stop.Name());
      return Stop.ExitCode();
    }
    return AnyError ? ExitFailed : AnyDifference ? ExitDifferences : ExitDone;
  }
};

}  // namespace

int RunProvision(TSession& session) {
  // The station's name goes into the record and to every terminal that shows it.
  const std::string station = session.Options.value("station").toStdString();
  if (auto code = RefusedCharacterInUtf8(station)) {
    session.Person->Say("Ошибка: " + TUnkept{"--station", station, RefusedReason(*code)}.Text());
    return ExitChecksFailed;
  }
  std::vector<TPlan> plans;
  TPlan templatePlan;
  if (auto refused = JudgePlans(session, plans, templatePlan)) return *refused;
  const TProvisionOptions options = ReadOptions(session);
  std::unique_ptr<TStationStore> store;
  std::unique_ptr<TProvisionLog> log;
  std::unique_ptr<TOutcomeJournal> journal;
  try {
    OpenRecord(session, options, templatePlan, plans, store, log, journal);
  } catch (const std::exception& error) {
    session.ShowError(error.what());
    return ExitFailed;
  }
  if (options.Supervising) {
    TStationSetup setup;
    setup.Ports = options.Automatic ? std::vector<std::string>() : options.Ports;
    setup.Automatic = options.Automatic;
    setup.Store = options.Queue ? store.get() : nullptr;
    setup.Count = options.Count;
    setup.Json = session.Options.isSet("json");
    setup.Db = options.Db.toStdString();
    setup.Scan = options.Scan;
    setup.Template = session.Options.positionalArguments().value(0).toStdString();
    setup.Table = session.Options.value("units").toStdString();
    setup.DbShown = TStationStore::Shown(options.Db).toStdString();
    log.reset();  // made, with its header, before any worker appends to it
    return SuperviseSlots(session, setup);
  }
  return TStationLoop(session, options, plans, *store, *log, *journal).Run();
}
