#include "station/UnitsTable.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <string_view>

#include "link/Text.h"
#include "params/Encodings.h"
#include "params/ParamFile.h"
#include "params/ParamTable.h"
#include "station/Session.h"
#include "station/UnitsCsv.h"

namespace {

const char* const kUnitColumn = "Unit";

bool SameKey(std::string_view a, std::string_view b) { return ParamTableRows::SameKey(a, b); }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The row's label and number as the messages name a row.
std::string RowName(const TPlan& plan) {
  if (plan.Row == 0) return "шаблон";
  // A refused label is named too, never printed as it is.
  return "строка " + std::to_string(plan.Row) +
         (plan.Label.empty() ? "" : " (" + ShownEscaped(plan.Label) + ")");
}

// A NUL ends a parameter file where it stands, as the window reads one: the rest of its value
// and every line after it would be lost without a word. Its line and value, named; none without.
std::optional<std::string> NulInFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  const qsizetype at = bytes.indexOf('\0');
  if (at < 0) return std::nullopt;
  const qsizetype begin = at == 0 ? 0 : bytes.lastIndexOf('\n', at - 1) + 1;
  qsizetype end = bytes.indexOf('\n', at);
  if (end < 0) end = bytes.size();
  std::string line = bytes.mid(begin, end - begin).toStdString();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t eq = line.find('=');
  const TUnkept said{eq == std::string::npos ? std::string() : line.substr(0, eq),
                     Cp1251ToUtf8(eq == std::string::npos ? line : line.substr(eq + 1)),
                     RefusedReason(0)};
  return "строка " + std::to_string(bytes.left(at).count('\n') + 1) + ", " + said.Text();
}

// The table's columns: per column the key, or empty for the label column. Every fault of the
// header is printed; false when there was any.
bool ColumnsOf(TTerminalPerson& person, const std::string& file,
               const std::vector<std::string>& header, const std::vector<std::string>& known,
               std::vector<std::string>& keys, std::optional<std::size_t>& labelColumn) {
  bool good = true;
  auto refuse = [&](std::size_t column, const std::string& why) {
    person.Say("Ошибка: " + file + ", столбец " + std::to_string(column + 1) + ": " + why);
    good = false;
  };
  for (std::size_t c = 0; c < header.size(); ++c) {
    const std::string name(TrimBlanks(header[c]));
    keys.emplace_back();
    if (name.empty()) {
      // Its values would be lost without a word.
      refuse(c, "нет имени");
    } else if (SameKey(name, kUnitColumn)) {
      if (labelColumn)
        refuse(c, "второй столбец Unit (первый — " + std::to_string(*labelColumn + 1) + ")");
      else
        labelColumn = c;
    } else if (auto key = std::find_if(known.begin(), known.end(),
                                       [&](const std::string& k) { return SameKey(k, name); });
               key == known.end()) {
      refuse(c, "неизвестный ключ «" + name + "»");
    } else if (auto first = std::find(keys.begin(), keys.end(), *key); first != keys.end()) {
      // Which value a unit got would be left to chance.
      refuse(c, "ключ " + *key + " уже в столбце " + std::to_string(first - keys.begin() + 1));
    } else {
      keys.back() = *key;
    }
  }
  return good;
}

// The row `r` of the table over the template, each cell judged; refusals and failed checks go to
// `problems`.
TPlan JudgeRow(TSession& session, const TCsvTable& table, std::size_t r,
               const std::vector<std::string>& keys, std::optional<std::size_t> labelColumn,
               const std::vector<std::string>& templateLines, std::vector<std::string>& problems) {
  TUnitSession& unit = *session.Unit;
  const auto& cells = table.Rows[r];
  TPlan plan;
  plan.Row = static_cast<int>(r) + 1;
  if (labelColumn) plan.Label = cells[*labelColumn];
  std::vector<TUnkept> refused;
  TSaidValues said;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const std::string& key = c == labelColumn ? std::string(kUnitColumn) : keys[c];
    const std::string_view cell = TrimBlanks(cells[c]);
    // Anywhere in a cell, a line break would end the command and start another; in a label,
    // it would act on the terminal that shows it.
    if (auto code = RefusedCharacterInUtf8(cells[c])) {
      refused.push_back({key, cells[c], RefusedReason(*code)});
      continue;
    }
    // An empty cell leaves the template's value.
    if (c == labelColumn || cell.empty()) continue;
    const auto value = Utf8ToCp1251(cell);
    if (!value) {
      const QString text = QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
      auto foreign = std::find_if(text.begin(), text.end(),
                                  [](QChar q) { return !IsCp1251Char(q.unicode()); });
      refused.push_back({key, std::string(cell),
                         "символ «" + QString(*foreign).toStdString() + "» не из Windows-1251"});
    } else if (FindParam(key)->Condition == TApplyCondition::ManualCorrCoef &&
               !unit.ManualCorrCoef) {
      refused.push_back({key, std::string(cell), NotWrittenReason(kManualCorrCoefOption)});
    } else {
      // The form's edit shows an address dotted; the parameter set packs it.
      const bool dotted = FindParam(key)->Kind == TParamKind::Address && IsDottedAddress(*value);
      plan.Lines.push_back(key + "=" + (dotted ? std::to_string(ParseIPAddress(*value)) : *value));
      said.emplace_back(key, *value);
    }
  }
  plan.OwnLines = plan.Lines.size();
  plan.Lines.insert(plan.Lines.end(), templateLines.begin(), templateLines.end());
  const auto judged =
      JudgeValues(unit.Values, unit.ManualCorrCoef, plan.Lines, said, kManualCorrCoefOption);
  refused.insert(refused.end(), judged.Unkept.begin(), judged.Unkept.end());
  plan.Held = judged.Held;
  for (const auto& cell : refused) problems.push_back(RowName(plan) + ", " + cell.Text());
  for (const auto& text : judged.Checks) problems.push_back(RowName(plan) + ": " + text);
  return plan;
}

}  // namespace

std::optional<int> JudgePlans(TSession& session, std::vector<TPlan>& plans, TPlan& templatePlan) {
  TUnitSession& unit = *session.Unit;
  TTerminalPerson& person = *session.Person;
  std::vector<std::string> templateLines;
  TCsvTable table;
  const QString units = session.Options.value("units");
  try {
    templateLines = ReadParamFile(session.Options.positionalArguments().value(0));
    if (session.Options.isSet("units")) table = ReadCsvTable(units);
  } catch (const EUsage&) {
    throw;
  } catch (const std::exception& error) {
    session.ShowError(error.what());
    return ExitUsage;
  }
  const std::vector<std::string> known = KnownKeys();
  std::vector<std::string> keys;  // per column: the key, or empty for the label column
  std::optional<std::size_t> labelColumn;
  if (session.Options.isSet("units") &&
      !ColumnsOf(person, units.toStdString(), table.Header, known, keys, labelColumn))
    return ExitUsage;

  std::vector<std::string> problems;
  // The template is a parameter file: what the form did not keep of it is only said.
  const TFormVerdict verdict = JudgeValues(unit.Values, unit.ManualCorrCoef, templateLines,
                                           FileValues(templateLines, known), kManualCorrCoefOption);
  for (const auto& unkept : verdict.Unkept) person.Say("Предупреждение: шаблон, " + unkept.Text());
  for (const auto& found : RefusedValues(templateLines))
    problems.push_back("шаблон, " + found.Text());
  if (auto nul = NulInFile(session.Options.positionalArguments().value(0)))
    problems.push_back("шаблон, " + *nul);
  templatePlan = {0, {}, templateLines, 0, verdict.Held};
  if (!session.Options.isSet("units")) {
    plans.push_back(templatePlan);
    for (const auto& text : verdict.Checks) problems.push_back("шаблон: " + text);
  }

  std::string emptyRows;
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    const auto& cells = table.Rows[r];
    if (std::all_of(cells.begin(), cells.end(),
                    [](const std::string& cell) { return TrimBlanks(cell).empty(); })) {
      // A spreadsheet's trailing ";;" is no unit: written, it would get the template alone.
      emptyRows += (emptyRows.empty() ? "" : ", ") + std::to_string(r + 1);
      continue;
    }
    plans.push_back(JudgeRow(session, table, r, keys, labelColumn, templateLines, problems));
  }
  if (!emptyRows.empty()) person.Say("пропущены пустые строки: " + emptyRows);
  for (const auto& text : problems) person.Say("Ошибка: " + text);
  if (!problems.empty()) return ExitChecksFailed;
  return std::nullopt;
}
