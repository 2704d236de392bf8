// Windows-1251 text at the edges of the program.
//
// Everything on the serial line and in parameter files is single-byte Windows-1251; controls hold
// Unicode. These two conversions are the only crossing between the two worlds, so that a byte
// that arrives is shown as the letter it stands for and a letter that is typed leaves as the
// byte the unit expects.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Every byte maps to one UTF-16 unit and back; the one unassigned byte (0x98) maps to U+0098.
std::u16string Cp1251ToUtf16(std::string_view bytes);

// Empty optional when a character has no Windows-1251 byte.
std::optional<std::string> Utf16ToCp1251(std::u16string_view text);

// Whether `c` can be stored as one Windows-1251 byte.
bool IsCp1251Char(char16_t c);

// UTF-8 helpers for messages and logs, which the standard library speaks.
std::string Cp1251ToUtf8(std::string_view bytes);
std::optional<std::string> Utf8ToCp1251(std::string_view utf8);
