#include "params/ParamList.h"

namespace {

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void TParamList::Append(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + 1 + value.size());
  line.append(key).append("=").append(value);
  LinesHeld.push_back(std::move(line));
}

std::string TParamList::Value(std::string_view key) const {
  for (const auto& line : LinesHeld) {
    auto eq = line.find('=');
    if (eq != std::string::npos && SameKey(std::string_view(line).substr(0, eq), key))
      return line.substr(eq + 1);
  }
  return {};
}

std::int32_t TParamList::Integer(std::string_view key, std::int32_t defaultValue) const {
  return ToInteger(Value(key)).value_or(defaultValue);
}
