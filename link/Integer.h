// Whole numbers in text, read one way wherever the program meets them: answers of the unit,
// parameter files and value texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// A signed 32-bit decimal: optional leading blanks and sign, then digits, nothing after.
// Empty optional for anything else (empty text, letters, a fraction, out of range).
std::optional<std::int32_t> ToInteger(std::string_view text);
