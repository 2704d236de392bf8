// The parameter set: an ordered list of Windows-1251 lines, each key "=" value, that carries a
// configuration between the form, parameter files and the unit.
//
// Lines keep their order and may repeat a key. A value is read by key without regard to letter
// case (ASCII), the first matching line wins, a line without "=" never matches, and a missing
// key reads as the empty text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Integer.h"  // ToInteger, which values are read with

class TParamList {
 public:
  void Clear() { LinesHeld.clear(); }
  void Append(std::string line) { LinesHeld.push_back(std::move(line)); }
  void Append(std::string_view key, std::string_view value);  // key + "=" + value
  void Assign(std::vector<std::string> lines) { LinesHeld = std::move(lines); }

  std::string Value(std::string_view key) const;
  std::int32_t Integer(std::string_view key, std::int32_t defaultValue) const;

  const std::vector<std::string>& Lines() const { return LinesHeld; }
  std::size_t Count() const { return LinesHeld.size(); }

 private:
  std::vector<std::string> LinesHeld;
};
