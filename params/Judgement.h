// The judgement of a parameter file's values: the form holds exactly what a text says, or here
// is why not.
//
// The form's own rules decide (the kinds, ranges, items and length limits of its controls): the
// values are applied as a parameter file is applied, gathered back into a list of their own, and
// each value
// whose key then holds anything other than what it said is reported with the reason in words.
// What the window itself does to a value stays allowed: blanks around it dropped, a phone's "+",
// blanks, hyphens and parentheses dropped, a server address written dotted.
//
// A refused character (`IsRefusedCharacter`: the control characters) never travels inside a
// value: a value whose text would carry one to the unit is refused outright, before anything is
// applied. Every face uses this one judgement: the window's "Загрузить" and start-up file, the
// command line's `write` and `diff`, and the batch station's units table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "params/ParamList.h"

class QString;

class TFormValues;

// The characters no value may carry, as a Unicode code point: a control character (C0, DEL or
// C1) would end a command on the line or a line of a file, or act on a terminal.
constexpr bool IsRefusedCharacter(char32_t c) {
  return c < 32 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// The same on a Windows-1251 byte (its bytes from 128 up are letters and signs).
constexpr bool IsRefusedByte(char byte) {
  const auto code = static_cast<unsigned char>(byte);
  return code < 128 && IsRefusedCharacter(code);
}

// The code of the first refused character of `text` (Windows-1251 or UTF-8: both keep the codes
// below 128 as they are).
std::optional<int> RefusedCharacterIn(std::string_view text);

// The same for a UTF-8 text (a table's cell, a label, a station's name), whose C1 characters
// take two bytes.
std::optional<int> RefusedCharacterInUtf8(std::string_view utf8);

// A UTF-8 text with its refused characters shown as escapes ("\\r", "\\x1B", "\\u0085"), as
// a refusal or a report shows it.
std::string ShownEscaped(std::string_view utf8);

// Why a value with that refused character is refused: "управляющий символ (код N)".
std::string RefusedReason(int code);

// Why a "CorrCoef" is refused while `manualOption` is off: "не записывается без " + option.
std::string NotWrittenReason(std::string_view manualOption);

// A value the form would not hold as it was written, or that is refused.
struct TUnkept {
  std::string Key;     // as the form spells it
  std::string Said;    // the value as written, UTF-8
  std::string Reason;  // why, UTF-8
  // "Key: «value» — reason", refused characters of the value shown as escapes.
  std::string Text() const;
};

// (key, value as written in Windows-1251)
using TSaidValues = std::vector<std::pair<std::string, std::string>>;

// The 46 keys as the gathering writes them, in file order.
std::vector<std::string> KnownKeys();

// The value of each of `known` that `lines` hold, the first line of a key winning, as applying
// reads them.
TSaidValues FileValues(const std::vector<std::string>& lines,
                       const std::vector<std::string>& known = KnownKeys());

// The values of `lines` that would carry a refused character to the unit: a text, once the
// blanks and control characters around it are dropped as gathering drops them. The other kinds
// reach the unit as numbers or digits, and the form says what it made of them.
std::vector<TUnkept> RefusedValues(const std::vector<std::string>& lines);

// What the form made of a parameter file.
struct TFormVerdict {
  std::vector<TUnkept> Unkept;      // values it holds otherwise, in file order of the keys
  std::vector<std::string> Checks;  // the texts of every failed check of gathering, in order
  TParamList Held;                  // the lines as the form gathered them
};

// Applies `lines` to `values` as a parameter file is applied (with "CorrCoef" only while
// `manualCorrCoef`), gathers them into a list of their own and judges each of `said`.
// `manualOption` names what lets "CorrCoef" be applied and written, for the words of a refusal.
// `values` are left holding `lines` applied, as after applying a file.
TFormVerdict JudgeValues(TFormValues& values, bool manualCorrCoef,
                         const std::vector<std::string>& lines, const TSaidValues& said,
                         std::string_view manualOption);

// Exactly a.b.c.d, four decimal octets 0..255: the window's packing reads more leniently
// ("1.2.3.x" as 1.2.3.0), which a person never means.
bool IsDottedAddress(std::string_view text);

// A parameter file applied to `values` as "Загрузить параметры..." applies it: read whole first
// (a file that cannot be read changes nothing, `Failure` says why), refused whole when a value
// would carry a control character to the unit, else applied and judged: `Unkept` are the values
// the form holds otherwise than the file says.
struct TFileApplied {
  std::vector<std::string> Lines;
  std::vector<TUnkept> Unkept;
  std::optional<std::string> Failure;
};
TFileApplied ApplyParamFile(TFormValues& values, bool manualCorrCoef, const QString& fileName,
                            std::string_view manualOption);
