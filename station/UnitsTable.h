// The batch station's units table.
//
// A cell of the table means exactly what it says, or nothing is sent. Every row goes into the
// form over the template, as a parameter file goes, and is judged by the parameter set's one
// judgement (params/Judgement.h); a cell whose key the form then holds otherwise refuses the
// table. A refused character is never allowed anywhere in a cell, nor a character without a
// Windows-1251 byte, nor a "CorrCoef" that would not be written.
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

#include "params/Judgement.h"

class TSession;

// One unit's configuration: the template with one row of the table over it.
struct TPlan {
  int Row = 0;                     // 1-based row of the table; 0 without a table
  std::string Label;               // the "Unit" column, UTF-8
  std::vector<std::string> Lines;  // parameter lines, Windows-1251; the row's first, so they win
  std::size_t OwnLines = 0;        // how many of `Lines` are the row's own
  TParamList Held;                 // `Lines` as the form gathered them when they were judged
};

// The plans of the template and the units table (`--units`), every one put into the form and
// judged; empty rows are left out and said. Refusals are printed; the exit code when there were
// any: 2 for a template or table that cannot be read or a bad header, 3 for refused cells and
// failed checks. Raises EUsage for a table that is not a table. `templatePlan` gets the template
// alone, judged the same way.
std::optional<int> JudgePlans(TSession& session, std::vector<TPlan>& plans, TPlan& templatePlan);
