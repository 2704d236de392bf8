// The batch station's units table, and what the form makes of a value a person wrote.
//
// A cell of the table means exactly what it says, or nothing is sent. Every row goes into the
// form over the template, as a parameter file goes, and is gathered back; a cell whose key then
// holds anything other than what the cell says refuses the table. The form's own controls decide
// (their kinds, ranges, items and length limits): there is no second copy of their rules here,
// only the words that explain a refusal. What the window itself does to a value stays allowed:
// blanks around it dropped, a phone's "+", blanks, hyphens and parentheses dropped, a server
// address written dotted. A control character (codes 0 to 31) is never allowed in a cell, nor a
// character without a Windows-1251 byte, nor a "CorrCoef" that would not be written.
//
// A parameter file (the template, the file of `write` and `diff`) is applied as the window
// applies it; what the form did not keep of it is reported, not refused, unless a control
// character would travel inside a value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TFmMain;
class TSession;

// One unit's configuration: the template with one row of the table over it.
struct TPlan {
  int Row = 0;                     // 1-based row of the table; 0 without a table
  std::string Label;               // the "Unit" column, UTF-8
  std::vector<std::string> Lines;  // parameter lines, Windows-1251; the row's first, so they win
  std::size_t OwnLines = 0;        // how many of `Lines` are the row's own
};

// A value the form would not hold as it was written.
struct TUnkept {
  std::string Key;     // as the form spells it
  std::string Said;    // the value as written, UTF-8
  std::string Reason;  // why, UTF-8
  // "Key: «value» — reason", control characters of the value shown as escapes.
  std::string Text() const;
};

// (key, value as written in Windows-1251)
using TSaidValues = std::vector<std::pair<std::string, std::string>>;

// The 46 keys as the gathering writes them.
std::vector<std::string> KnownKeys(TFmMain& form);

// The value of each of `known` that `lines` hold, the first line of a key winning, as applying
// reads them.
TSaidValues FileValues(const std::vector<std::string>& lines,
                       const std::vector<std::string>& known);

// Applies `lines` to the form as a parameter file is applied and gathers it, the texts of every
// failed check into `checks`; then each of `said` whose key the form holds otherwise, with why.
// The form is left holding `lines`, gathered.
std::vector<TUnkept> JudgeThroughForm(TFmMain& form, const std::vector<std::string>& lines,
                                      const TSaidValues& said, std::vector<std::string>& checks);

// The lines (gathered) whose value holds a control character, which would reach the unit.
std::vector<TUnkept> ControlCharacters(const std::vector<std::string>& lines);

// The plans of the template and the units table (`--units`), every one put into the form and
// judged; empty rows are left out and said. Refusals are printed; the exit code when there were
// any: 2 for a template or table that cannot be read or a bad header, 3 for refused cells and
// failed checks. Raises EUsage for a table that is not a table.
std::optional<int> JudgePlans(TSession& session, std::vector<TPlan>& plans);
