// Lookup of the numbered controls ("EdServer" + n, "CBPhone" + k, ...) for the parameter set.
#pragma once

#include <QString>

#include "form/FmMain.h"
#include "link/VestraError.h"

// The control `prefix` + n of kind T. The window always has them; a missing one is a fault of
// the program, raised rather than dereferenced.
template <class T>
T* NumberedControl(const TFmMain& form, const char* prefix, int n) {
  auto name = QString::fromLatin1(prefix) + QString::number(n);
  if (auto* control = form.FindControlAs<T>(name)) return control;
  throw EVestraError("Не найден элемент окна " + name.toStdString());
}
