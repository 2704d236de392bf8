#include "station/UnitsTable.h"

#include <QString>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "cli/Cli.h"
#include "station/UnitsCsv.h"
#include "form/Controls.h"
#include "form/FmMain.h"
#include "link/Text.h"
#include "params/Encodings.h"
#include "params/ParamFile.h"
#include "params/ParamText.h"

namespace {

const char* const kUnitColumn = "Unit";
const char* const kCorrCoef = "CorrCoef";

// How a key's value is written beyond what its control says of it.
enum class TWritten {
  AsControl,  // as the control holds it
  Number,     // a packed whole number of several controls
  Phone,      // digits; the window drops "+", blanks, hyphens and parentheses
  Address,    // a packed address, or the dotted form the window shows
};

// The control each key comes from, for the words of a refusal: the verdict itself is the form's.
struct TKeyRow {
  std::string_view Key;
  std::string_view Control;  // empty for a packed value
  TWritten Written = TWritten::AsControl;
};

const TKeyRow kKeys[] = {
    {"AddrServer1", "EdServer1", TWritten::Address},
    {"AddrServer2", "EdServer2", TWritten::Address},
    {"AddrServer3", "EdServer3", TWritten::Address},
    {"GPRSUser", "EdLoginE"},
    {"GPRSPwd", "EdPwdE"},
    {"GPRSSite", "EdAPNE"},
    {"GPRSUserInt", "EdLoginI"},
    {"GPRSPwdInt", "EdPwdI"},
    {"GPRSSiteInt", "EdAPNI"},
    {"BalanceRq", "EdRqBalance"},
    {"BalanceLimit", "SELimitBal"},
    {"BalancePeriod", "SEPeriodBal"},
    {"DelayAlarm", "SEDelay"},
    {"CloseDelay", "SECloseDelay"},
    {"PIRMode", "CBPIRMode"},
    {"BothAlarm", "CBBothAlarm"},
    {"VibroMode", "", TWritten::Number},
    {"ChangeCoord", "CBChangeCoord"},
    {"LoadEfemerids", "CBLoadEfemerids"},
    {"UseAGPS", "CBUseAGPS"},
    {"SelSIMMode", "CBSelSIMMode"},
    {"TimeZone", "SETimeZone"},
    {"UseGPS", "CBGPS"},
    {"UseCellInfo", "CBCellInfo"},
    {"SendLinkFault", "CBSendLinkFault"},
    {"OpenCloseSMS", "CBOpClsSMS"},
    {"SleepMode", "", TWritten::Number},
    {"SleepTime", "SESleep"},
    {"LowBatMsg", "CBLowBatMsg"},
    {"RingMode", "CBRingMode"},
    {"RingDuration", "SERingDuration"},
    {"RingLevel", "SERingLevel"},
    {"Period", "CBPeriod"},
    {"EnSMS1", "CBPhone1"},
    {"PhoneSMS1", "EdPhone1", TWritten::Phone},
    {"EnSMS2", "CBPhone2"},
    {"PhoneSMS2", "EdPhone2", TWritten::Phone},
    {"EnSMS3", "CBPhone3"},
    {"PhoneSMS3", "EdPhone3", TWritten::Phone},
    {"Brightness", "SEBrightness"},
    {"CorrCoef", "SECorrCoef"},
    {"PINCodeInt", "EdPINI"},
    {"PINCode", "EdPINE"},
    {"SMSPwd", "EdSMSPwd"},
    {"OpenPwd", "EdOpenPwd"},
    {"ControlSMS", "CBControlSMS"},
};
static_assert(std::size(kKeys) == 46, "one row per key of the parameter set");

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

const TKeyRow* RowOf(std::string_view key) {
  for (const auto& row : kKeys)
    if (SameKey(row.Key, key)) return &row;
  return nullptr;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32; }

// The first control character of `text` (either code page: both keep 0..31 as they are).
std::optional<int> ControlIn(std::string_view text) {
  auto at = std::find_if(text.begin(), text.end(), IsControl);
  if (at == text.end()) return std::nullopt;
  return static_cast<unsigned char>(*at);
}

std::string ControlReason(int code) {
  return "управляющий символ (код " + std::to_string(code) + ")";
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Exactly a.b.c.d, four decimal octets 0..255: the window's packing reads more leniently
// ("1.2.3.x" as 1.2.3.0), which a person never means.
bool IsDottedAddress(std::string_view text) {
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    int value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 3)
      value = value * 10 + (text[digits++] - '0');
    if (digits == 0 || value > 255) return false;
    text.remove_prefix(digits);
  }
  return text.empty();
}

// Whether the form holds what `text` (blanks around it dropped) says.
bool Holds(const TKeyRow* row, std::string_view text, const std::string& held) {
  const auto said = ToInteger(text);
  if (row && row->Written == TWritten::Phone) {
    std::string digits;
    for (char c : text)
      if (std::string_view(" -()+").find(c) == std::string_view::npos) digits += c;
    return digits == held;
  }
  if (row && row->Written == TWritten::Address && !said)
    return IsDottedAddress(text) && std::to_string(ParseIPAddress(text)) == held;
  const auto holds = ToInteger(held);
  if (said && holds) return *said == *holds;
  return text == held;
}

// The value the form gives `key` when the key says `value` alone.
std::int64_t HeldFor(TFmMain& form, const std::string& key, std::int32_t value) {
  form.ApplyParameterLines({key + "=" + std::to_string(value)});
  form.GatherAllParameters();
  return ToInteger(form.ParamList.Value(key)).value_or(0);
}

// Why the form holds `held` for `key` rather than `text`; `probed` is set when the form was
// used to find a range.
std::string WhyNotHeld(TFmMain& form, const std::string& key, const TKeyRow* row, QObject* control,
                       std::string_view text, const std::string& held, bool& probed) {
  if (SameKey(key, kCorrCoef) && !form.CBManualCorrCoef->Checked())
    return "не записывается без --manual-corr-coef";
  const auto number = ToInteger(text);
  const bool numeric = qobject_cast<TSpinEdit*>(control) || qobject_cast<TComboBox*>(control) ||
                       qobject_cast<TCheckBox*>(control) ||
                       (row && row->Written == TWritten::Number);
  if (numeric && !number) return "не целое число";
  if (qobject_cast<TSpinEdit*>(control)) {
    // The range as the key counts, which the control's own range need not be ("BalanceLimit"
    // counts tens of roubles).
    probed = true;
    const auto low = HeldFor(form, key, INT32_MIN), high = HeldFor(form, key, INT32_MAX);
    if (*number < low || *number > high)
      return "вне диапазона от " + std::to_string(low) + " до " + std::to_string(high);
  } else if (auto* list = qobject_cast<TComboBox*>(control)) {
    if (*number < -1 || *number >= list->count())
      return "в списке нет пункта " + std::to_string(*number) + " (есть от 0 до " +
             std::to_string(list->count() - 1) + ")";
  } else if (qobject_cast<TCheckBox*>(control)) {
    if (*number != 0 && *number != 1) return "допустимо 0 или 1";
  } else if (row && row->Written == TWritten::Phone) {
    return "допустимы только цифры, пробел, «+», «-», «(» и «)»";
  } else if (row && row->Written == TWritten::Address && !number && !IsDottedAddress(text)) {
    return "не адрес вида 192.0.2.10";
  }
  return "форма хранит «" + Cp1251ToUtf8(held) + "»";
}

// The row's label and number as the messages name a row.
std::string RowName(const TPlan& plan) {
  if (plan.Row == 0) return "шаблон";
  return "строка " + std::to_string(plan.Row) + (plan.Label.empty() ? "" : " (" + plan.Label + ")");
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

}  // namespace

std::string TUnkept::Text() const {
  std::string shown;
  for (char c : Said) {
    if (!IsControl(c)) {
      shown += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
    shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : escape;
  }
  return Key + ": «" + shown + "» — " + Reason;
}

std::vector<std::string> KnownKeys(TFmMain& form) {
  form.GatherAllParameters();
  std::vector<std::string> keys;
  for (const auto& line : form.ParamList.Lines()) keys.push_back(line.substr(0, line.find('=')));
  return keys;
}

TSaidValues FileValues(const std::vector<std::string>& lines,
                       const std::vector<std::string>& known) {
  TSaidValues values;
  for (const auto& key : known) {
    for (const auto& line : lines) {
      const auto eq = line.find('=');
      if (eq == std::string::npos || !SameKey(std::string_view(line).substr(0, eq), key)) continue;
      values.emplace_back(key, line.substr(eq + 1));
      break;
    }
  }
  return values;
}

std::vector<TUnkept> JudgeThroughForm(TFmMain& form, const std::vector<std::string>& lines,
                                      const TSaidValues& said, std::vector<std::string>& checks) {
  form.ApplyParameterLines(lines);
  checks = form.GatherAllParameters();
  const std::vector<std::string> gathered = form.ParamList.Lines();
  TParamList held;
  held.Assign(gathered);
  std::vector<TUnkept> unkept;
  bool probed = false;
  for (const auto& [key, value] : said) {
    // Blanks and control characters around a value are dropped by the window's gathering; a
    // cell's control characters were refused before.
    const std::string_view text = TrimControls(value);
    const TKeyRow* row = RowOf(key);
    QObject* control = row ? form.FindControl(QString::fromLatin1(row->Control)) : nullptr;
    const std::string holds = held.Value(key);
    std::optional<std::string> reason;
    // An edit keeps a longer text set by the program: its limit is for typing only.
    if (auto* edit = qobject_cast<TEdit*>(control);
        edit && edit->MaxLength() > 0 && text.size() > static_cast<std::size_t>(edit->MaxLength()))
      reason = "длиннее " + std::to_string(edit->MaxLength()) + " символов";
    else if (!Holds(row, text, holds))
      reason = WhyNotHeld(form, key, row, control, text, holds, probed);
    if (reason) unkept.push_back({key, Cp1251ToUtf8(value), *reason});
  }
  if (probed) {
    form.ApplyParameterLines(lines);
    form.GatherAllParameters();
  }
  return unkept;
}

std::vector<TUnkept> ControlCharacters(const std::vector<std::string>& lines) {
  std::vector<TUnkept> found;
  for (const auto& line : lines) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (auto code = ControlIn(std::string_view(line).substr(eq + 1)))
      found.push_back(
          {line.substr(0, eq), Cp1251ToUtf8(line.substr(eq + 1)), ControlReason(*code)});
  }
  return found;
}

std::optional<int> JudgePlans(TSession& session, std::vector<TPlan>& plans) {
  TFmMain& form = *session.Form;
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
    form.ShowError(error.what());
    return ExitUsage;
  }
  const std::vector<std::string> known = KnownKeys(form);
  std::vector<std::string> keys;  // per column: the key, or empty for the label column
  std::optional<std::size_t> labelColumn;
  if (session.Options.isSet("units") &&
      !ColumnsOf(person, units.toStdString(), table.Header, known, keys, labelColumn))
    return ExitUsage;

  std::vector<std::string> problems, checks;
  // The template is a parameter file: what the form did not keep of it is only said.
  for (const auto& unkept :
       JudgeThroughForm(form, templateLines, FileValues(templateLines, known), checks))
    person.Say("Предупреждение: шаблон, " + unkept.Text());
  for (const auto& found : ControlCharacters(form.ParamList.Lines()))
    problems.push_back("шаблон, " + found.Text());
  if (!session.Options.isSet("units")) {
    plans.push_back({0, {}, templateLines});
    for (const auto& text : checks) problems.push_back("шаблон: " + text);
  }

  const bool manualCorrCoef = form.CBManualCorrCoef->Checked();
  std::string emptyRows;
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    const auto& cells = table.Rows[r];
    TPlan plan;
    plan.Row = static_cast<int>(r) + 1;
    if (std::all_of(cells.begin(), cells.end(),
                    [](const std::string& cell) { return TrimBlanks(cell).empty(); })) {
      // A spreadsheet's trailing ";;" is no unit: written, it would get the template alone.
      emptyRows += (emptyRows.empty() ? "" : ", ") + std::to_string(plan.Row);
      continue;
    }
    if (labelColumn) plan.Label = cells[*labelColumn];
    std::vector<TUnkept> refused;
    TSaidValues said;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::string& key = c == labelColumn ? std::string(kUnitColumn) : keys[c];
      const std::string_view cell = TrimBlanks(cells[c]);
      // Anywhere in a cell, a line break would end the command and start another.
      if (auto code = ControlIn(cells[c])) {
        refused.push_back({key, cells[c], ControlReason(*code)});
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
      } else if (SameKey(key, kCorrCoef) && !manualCorrCoef) {
        refused.push_back({key, std::string(cell), "не записывается без --manual-corr-coef"});
      } else {
        // The form's edit shows an address dotted; the parameter set packs it.
        const TKeyRow* row = RowOf(key);
        const bool dotted = row && row->Written == TWritten::Address && IsDottedAddress(*value);
        plan.Lines.push_back(key + "=" +
                             (dotted ? std::to_string(ParseIPAddress(*value)) : *value));
        said.emplace_back(key, *value);
      }
    }
    plan.OwnLines = plan.Lines.size();
    plan.Lines.insert(plan.Lines.end(), templateLines.begin(), templateLines.end());
    const auto unkept = JudgeThroughForm(form, plan.Lines, said, checks);
    refused.insert(refused.end(), unkept.begin(), unkept.end());
    for (const auto& cell : refused) problems.push_back(RowName(plan) + ", " + cell.Text());
    for (const auto& text : checks) problems.push_back(RowName(plan) + ": " + text);
    plans.push_back(std::move(plan));
  }
  if (!emptyRows.empty()) person.Say("пропущены пустые строки: " + emptyRows);
  for (const auto& text : problems) person.Say("Ошибка: " + text);
  if (!problems.empty()) return ExitChecksFailed;
  return std::nullopt;
}
