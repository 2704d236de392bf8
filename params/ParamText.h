// Small text helpers of the parameter set, on Windows-1251 bytes.
#pragma once

#include <string>
#include <string_view>

// `text` without the characters of codes 0 to 32 at either end (Cyrillic bytes are above 127
// and stay).
inline std::string_view TrimControls(std::string_view text) {
  auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && isControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isControl(text.back())) text.remove_suffix(1);
  return text;
}
