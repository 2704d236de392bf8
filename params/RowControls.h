// The controls of a row of the parameter set, looked up by name in the window.
#pragma once

#include <QString>
#include <cstddef>

#include "form/FmMain.h"
#include "link/VestraError.h"
#include "params/ParamTable.h"

// The row's control number `i` (0: the one that holds the value), of kind T. The window always
// has them; a missing one is a fault of the program, raised rather than dereferenced.
template <class T>
T* RowControl(const TFmMain& form, const TParamRow& row, std::size_t i = 0) {
  const std::string_view name = row.Controls[i];
  const auto text = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  if (auto* control = form.FindControlAs<T>(text)) return control;
  throw EVestraError("Не найден элемент окна " + text.toStdString());
}

// The number of a numbered key ("AddrServer2", "EnSMS3"): its last character.
inline std::string RowNumber(const TParamRow& row) { return std::string(1, row.Key.back()); }
