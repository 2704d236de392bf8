// Windows-1251 bytes <-> QString, for the controls' side of the text boundary.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "link/Text.h"

inline QString FromCp1251(std::string_view bytes) {
  return QString::fromStdU16String(Cp1251ToUtf16(bytes));
}

// Characters without a Windows-1251 byte become "?"; the edits refuse them, so this is a guard.
inline std::string ToCp1251(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar c : text) {
    auto bytes = Utf16ToCp1251(std::u16string(1, c.unicode()));
    out += bytes ? *bytes : std::string("?");
  }
  return out;
}
