// The batch station: one template, one row of the units table per unit, unit after unit on one
// port (or on whichever port a unit answers), each written, verified, logged and printed.
//
// Everything is judged before anything is sent: the table's columns must be parameter keys, and
// every row, put into the form over the template, must pass the form's checks. A row is used up
// only by a unit that was written and verified; after a failure it goes to the next unit. Having
// handled a unit, the station waits until that unit is gone from its port before it takes
// another there (cli/Arrivals.cpp). The stop signals (blocked since main) are looked at only
// between units.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QDateTime>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Arrivals.h"
#include "cli/Cli.h"
#include "cli/ProvisionLog.h"
#include "cli/UnitsCsv.h"
#include "link/Text.h"
#include "params/Encodings.h"
#include "params/ParamFile.h"
#include "params/ParamList.h"
#include "params/ParamText.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kUnitColumn = "Unit";
const char* const kVerifyWait = "Проверка записи...";

// One unit's configuration: the template with one row of the table over it.
struct TPlan {
  int Row = 0;                     // 1-based row of the table; 0 without a table
  std::string Label;               // the "Unit" column, UTF-8
  std::vector<std::string> Lines;  // parameter lines, Windows-1251; the row's first, so they win
};

// SIGINT and SIGTERM, blocked since main(), taken through a descriptor when stopping is safe.
class TStopSignals {
 public:
  TStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    Fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (Fd < 0) throw std::runtime_error("signalfd");
  }
  ~TStopSignals() { close(Fd); }
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Readable while a stop signal waits; the wait for a unit watches it, so that a stop is taken
  // at once.
  int Descriptor() const { return Fd; }
  // Waits up to `timeout` for a stop signal; true once one came.
  bool Wait(std::chrono::milliseconds timeout) {
    if (Stopped) return true;
    pollfd p{Fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) > 0) {
      signalfd_siginfo info;
      if (read(Fd, &info, sizeof info) == sizeof info) Stopped = true;
    }
    return Stopped;
  }

 private:
  int Fd = -1;
  bool Stopped = false;
};

std::string KeyOf(const std::string& line) { return line.substr(0, line.find('=')); }

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The 46 keys as the gathering writes them.
std::vector<std::string> KnownKeys(TFmMain& form) {
  form.GatherAllParameters();
  std::vector<std::string> keys;
  for (const auto& line : form.ParamList.Lines()) keys.push_back(KeyOf(line));
  return keys;
}

// The row's cell for `key` as a parameter value, Windows-1251; an address column may hold the
// dotted form, packed as the form packs it. Empty optional (and `problem` set) when unusable.
std::optional<std::string> CellValue(const std::string& key, const std::string& cell,
                                     std::string& problem) {
  auto value = Utf8ToCp1251(cell);
  if (!value) {
    problem = key + ": символ, которого нет в Windows-1251";
    return std::nullopt;
  }
  if (SameKey(key.substr(0, 10), "AddrServer") && !ToInteger(*value)) {
    const std::int32_t packed = ParseIPAddress(*value);
    if (packed == 0 && TrimControls(*value) != "0.0.0.0") {
      problem = key + ": недопустимый адрес " + cell;
      return std::nullopt;
    }
    return std::to_string(packed);
  }
  return value;
}

// Reads the table and turns each row into a plan; raises EUsage for unknown columns.
std::vector<TPlan> PlansOf(const QString& csv, const std::vector<std::string>& templateLines,
                           const std::vector<std::string>& known,
                           std::vector<std::string>& problems) {
  const TCsvTable table = ReadCsvTable(csv);
  std::vector<std::string> keys;  // per column: the key, or empty for the label column
  std::optional<std::size_t> labelColumn;
  std::string unknown;
  for (std::size_t c = 0; c < table.Header.size(); ++c) {
    const std::string& name = table.Header[c];
    if (SameKey(name, kUnitColumn)) {
      labelColumn = c;
      keys.emplace_back();
      continue;
    }
    auto key = std::find_if(known.begin(), known.end(),
                            [&](const std::string& k) { return SameKey(k, name); });
    // A key given twice would leave it to chance which value a unit gets.
    if (key == known.end() || std::find(keys.begin(), keys.end(), *key) != keys.end())
      unknown += (unknown.empty() ? "" : ", ") + name;
    keys.push_back(key == known.end() ? std::string() : *key);
  }
  if (!unknown.empty())
    throw EUsage{csv.toStdString() + ": неизвестные или повторные столбцы: " + unknown};

  std::vector<TPlan> plans;
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    TPlan plan;
    plan.Row = static_cast<int>(r) + 1;
    const auto& cells = table.Rows[r];
    if (labelColumn) plan.Label = cells[*labelColumn];
    for (std::size_t c = 0; c < cells.size(); ++c) {
      // An empty cell leaves the template's value.
      if (keys[c].empty() || TrimControls(cells[c]).empty()) continue;
      std::string problem;
      if (auto value = CellValue(keys[c], cells[c], problem))
        plan.Lines.push_back(keys[c] + "=" + *value);
      else
        problems.push_back("строка " + std::to_string(plan.Row) + ": " + problem);
    }
    plan.Lines.insert(plan.Lines.end(), templateLines.begin(), templateLines.end());
    plans.push_back(std::move(plan));
  }
  return plans;
}

std::string UnitName(const TPlan& plan, int ordinal) {
  if (!plan.Label.empty()) return plan.Label;
  return std::to_string(plan.Row > 0 ? plan.Row : ordinal);
}

std::string Seconds(TClock::duration span) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(span).count());
  return text;
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

// The plans of the table (or the template alone), every one put into the form and checked.
// Problems are printed; the exit code when there were any.
std::optional<int> JudgePlans(TSession& session, std::vector<TPlan>& plans) {
  TFmMain& form = *session.Form;
  const QString templateFile = session.Options.positionalArguments().value(0);
  std::vector<std::string> problems;
  try {
    const std::vector<std::string> templateLines = ReadParamFile(templateFile);
    if (session.Options.isSet("units"))
      plans = PlansOf(session.Options.value("units"), templateLines, KnownKeys(form), problems);
    else
      plans.push_back({0, {}, templateLines});
  } catch (const EUsage&) {
    throw;
  } catch (const std::exception& error) {
    form.ShowError(error.what());
    return ExitFailed;
  }
  for (const TPlan& plan : plans) {
    form.ApplyParameterLines(plan.Lines);
    for (const auto& text : form.GatherAllParameters())
      problems.push_back((plan.Row > 0 ? "строка " + std::to_string(plan.Row) : "шаблон") +
                         (plan.Label.empty() ? "" : " (" + plan.Label + ")") + ": " + text);
  }
  for (const auto& text : problems) session.Person->Say("Ошибка: " + text);
  if (!problems.empty()) return ExitChecksFailed;
  return std::nullopt;
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
  const bool automatic = session.Options.value("port") == "auto";
  std::vector<std::string> ports;
  if (automatic) {
    for (int i = 0; i < form.CBPort->count(); ++i)
      ports.push_back(form.CBPort->itemText(i).toStdString());
  } else {
    session.SelectPort();
    if (form.PortName().empty()) throw EUsage{"не выбран порт: укажите --port"};
    ports.push_back(form.PortName());
  }

  std::unique_ptr<TProvisionLog> log;
  try {
    log = std::make_unique<TProvisionLog>(session.Options.value("log"));
  } catch (const std::exception& error) {
    form.ShowError(error.what());
    return ExitFailed;
  }
  std::set<int> done = log->DoneRows();
  // The station's output is one line per unit; the differing codes go with the other notes.
  person.DifferencesTo = stderr;
  form.VerifyAfterWrite = true;
  TStopSignals stop;

  int handled = 0;
  bool anyError = false, anyDifference = false;
  TArrivals arrivals(form, person, ports, stop.Descriptor());
  for (;;) {
    auto next = std::find_if(plans.begin(), plans.end(),
                             [&](const TPlan& plan) { return done.count(plan.Row) == 0; });
    if (next == plans.end()) {
      person.Say("Все строки таблицы записаны");
      break;
    }
    if ((count > 0 && handled >= count) || stop.Wait(0ms)) break;

    person.Say("Ожидание блока на " + (automatic ? std::string("любом порту") : ports.front()) +
               "...");
    const auto waitStart = TClock::now();
    std::optional<TUnit> unit = arrivals.WaitForUnit();
    if (!unit) break;
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
      form.ShowError(error.what());
      return ExitFailed;
    }
    PrintLine(unit->Port + " блок " + UnitName(*next, handled) + " (" + unit->Version +
              "): " + outcome.Said);
    if (outcome.Result == "ok" && next->Row > 0) done.insert(next->Row);
    arrivals.Handled(*unit);
  }
  return anyError ? ExitFailed : anyDifference ? ExitDifferences : ExitDone;
}
