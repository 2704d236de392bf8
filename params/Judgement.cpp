// The judgement of values through the form.
#include "params/Judgement.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "link/Text.h"
#include "params/Applying.h"
#include "params/Encodings.h"
#include "params/Gathering.h"
#include "params/ParamFile.h"
#include "params/ParamTable.h"
#include "params/ParamText.h"

namespace {

using K = TParamKind;

bool SameKey(std::string_view a, std::string_view b) { return ParamTableRows::SameKey(a, b); }

// What judging a value needs beside the value.
struct TJudged {
  const TFormValues& Values;  // as the lines left them: a range is probed on a copy
  bool ManualCorrCoef;
  std::string_view ManualOption;
};

// Whether the form holds what `text` (blanks around it dropped) says.
bool Holds(const TParamRow* row, std::string_view text, const std::string& held) {
  const auto said = ToInteger(text);
  if (row && row->Kind == K::Phone) {
    std::string digits;
    for (char c : text)
      if (std::string_view(" -()+").find(c) == std::string_view::npos) digits += c;
    return digits == held;
  }
  if (row && row->Kind == K::Address && !said)
    return IsDottedAddress(text) && std::to_string(ParseIPAddress(text)) == held;
  const auto holds = ToInteger(held);
  if (said && holds) return *said == *holds;
  return text == held;
}

// The value the form gives `key` when the key says `value` alone.
std::int64_t HeldFor(const TJudged& judged, const std::string& key, std::int32_t value) {
  TParamList alone;
  alone.Append(key, std::to_string(value));
  TFormValues probe = judged.Values;
  PutParameters(probe, alone, judged.ManualCorrCoef);
  TParamList gathered;
  GatherAllValues(probe, gathered);
  return ToInteger(gathered.Value(key)).value_or(0);
}

// Why the form holds `held` for `key` rather than `text`.
std::string WhyNotHeld(const TJudged& judged, const std::string& key, const TParamRow* row,
                       const TControlRow* control, std::string_view text, const std::string& held) {
  if (row && row->Condition == TApplyCondition::ManualCorrCoef && !judged.ManualCorrCoef)
    return NotWrittenReason(judged.ManualOption);
  const auto number = ToInteger(text);
  const TControlKind kind = control ? control->Kind : TControlKind::Edit;
  const bool numeric = kind != TControlKind::Edit || (row && row->Kind == K::Packed);
  if (numeric && !number) return "не целое число";
  if (kind == TControlKind::Spin) {
    // The range as the key counts, which the control's own range need not be ("BalanceLimit"
    // counts tens of roubles).
    const auto low = HeldFor(judged, key, INT32_MIN), high = HeldFor(judged, key, INT32_MAX);
    if (*number < low || *number > high)
      return "вне диапазона от " + std::to_string(low) + " до " + std::to_string(high);
  } else if (kind == TControlKind::List) {
    const auto count = static_cast<int>(control->Items.size());
    if (*number < -1 || *number >= count)
      return "в списке нет пункта " + std::to_string(*number) + " (есть от 0 до " +
             std::to_string(count - 1) + ")";
  } else if (kind == TControlKind::Check) {
    if (*number != 0 && *number != 1) return "допустимо 0 или 1";
  } else if (row && row->Kind == K::Phone) {
    return "допустимы только цифры, пробел, «+», «-», «(» и «)»";
  } else if (row && row->Kind == K::Address && !number && !IsDottedAddress(text)) {
    return "не адрес вида 192.0.2.10";
  }
  return "форма хранит «" + Cp1251ToUtf8(held) + "»";
}

// The control that holds the row's value; none for a packed value, which several hold.
const TControlRow* ValueControl(const TParamRow* row) {
  if (!row || row->Kind == K::Packed) return nullptr;
  const std::size_t index = ControlIndex(row->Controls[0]);
  return index < ControlCount ? &ControlTable()[index] : nullptr;
}

}  // namespace

std::optional<int> RefusedCharacterIn(std::string_view text) {
  auto at = std::find_if(text.begin(), text.end(), IsRefusedByte);
  if (at == text.end()) return std::nullopt;
  return static_cast<unsigned char>(*at);
}

std::optional<int> RefusedCharacterInUtf8(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  for (const char32_t c : text.toUcs4())
    if (IsRefusedCharacter(c)) return static_cast<int>(c);
  return std::nullopt;
}

std::string ShownEscaped(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  std::string shown;
  for (const char32_t c : text.toUcs4()) {
    if (!IsRefusedCharacter(c)) {
      shown += QString::fromUcs4(&c, 1).toStdString();
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02X" : "\\u%04X",
                  static_cast<unsigned>(c));
    shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : escape;
  }
  return shown;
}

std::string RefusedReason(int code) {
  return "управляющий символ (код " + std::to_string(code) + ")";
}

std::string NotWrittenReason(std::string_view manualOption) {
  return "не записывается без " + std::string(manualOption);
}

std::string TUnkept::Text() const { return Key + ": «" + ShownEscaped(Said) + "» — " + Reason; }

std::vector<std::string> KnownKeys() {
  std::vector<std::string> keys;
  for (const TParamRow& row : ParamTable()) keys.emplace_back(row.Key);
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

std::vector<TUnkept> RefusedValues(const std::vector<std::string>& lines) {
  std::vector<TUnkept> refused;
  for (const auto& [key, value] : FileValues(lines)) {
    if (FindParam(key)->Kind != K::Text) continue;
    const std::string_view travels = TrimControls(value);
    if (auto code = RefusedCharacterIn(travels))
      refused.push_back({key, Cp1251ToUtf8(travels), RefusedReason(*code)});
  }
  return refused;
}

TFormVerdict JudgeValues(TFormValues& values, bool manualCorrCoef,
                         const std::vector<std::string>& lines, const TSaidValues& said,
                         std::string_view manualOption) {
  TFormVerdict verdict;
  TParamList applied;
  applied.Assign(lines);
  PutParameters(values, applied, manualCorrCoef);
  TParamList& held = verdict.Held;
  verdict.Checks = GatherAllValues(values, held);
  const TJudged judged{values, manualCorrCoef, manualOption};
  for (const auto& [key, value] : said) {
    // Blanks and control characters around a value are dropped by the window's gathering.
    const std::string_view text = TrimControls(value);
    const TParamRow* row = FindParam(key);
    const TControlRow* control = ValueControl(row);
    const std::string holds = held.Value(key);
    std::optional<std::string> reason;
    // An edit keeps a longer text set by the program: its limit is for typing only.
    if (control && control->MaxLength > 0 &&
        text.size() > static_cast<std::size_t>(control->MaxLength))
      reason = "длиннее " + std::to_string(control->MaxLength) + " символов";
    else if (!Holds(row, text, holds))
      reason = WhyNotHeld(judged, key, row, control, text, holds);
    if (reason) verdict.Unkept.push_back({key, Cp1251ToUtf8(value), *reason});
  }
  return verdict;
}

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

TFileApplied ApplyParamFile(TFormValues& values, bool manualCorrCoef, const QString& fileName,
                            std::string_view manualOption) {
  TFileApplied applied;
  try {
    applied.Lines = ReadParamFile(fileName);
  } catch (const std::exception& error) {
    applied.Failure = error.what();
    return applied;
  }
  if (const auto refused = RefusedValues(applied.Lines); !refused.empty()) {
    std::string text = "Файл параметров не загружен:";
    for (const auto& value : refused) text += "\n" + value.Text();
    applied.Failure = text;
    return applied;
  }
  applied.Unkept =
      JudgeValues(values, manualCorrCoef, applied.Lines, FileValues(applied.Lines), manualOption)
          .Unkept;
  return applied;
}
