// The units-table reader on any file: its encodings and its CSV.
//
// It refuses only by EUsage. A table it takes has a header, rows as wide as the header and
// nothing but UTF-8 in its cells (it refuses every other text), and written again as CSV its
// cells read back the same. A table it refuses stays refused behind a UTF-8 byte-order mark, a
// UTF-8 file reads the same with one as without, and a Windows-1251 one is refused with one.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "station/ExitCodes.h"
#include "station/UnitsCsv.h"

namespace {

constexpr std::string_view kBom("\xEF\xBB\xBF");

// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (b(0) < 0x80)
      length = 1, point = b(0);
    else if ((b(0) & 0xE0) == 0xC0)
      length = 2, point = b(0) & 0x1F;
    else if ((b(0) & 0xF0) == 0xE0)
      length = 3, point = b(0) & 0x0F;
    else if ((b(0) & 0xF8) == 0xF0)
      length = 4, point = b(0) & 0x07;
    else
      return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((b(k) & 0xC0) != 0x80) return false;
      point = point << 6 | (b(k) & 0x3F);
    }
    constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

std::optional<TCsvTable> Read(const TScratchFile& file, std::string_view bytes) {
  file.Write(bytes);
  try {
    return ReadCsvTable(file.Name());
  } catch (const EUsage&) {
    return std::nullopt;
  }
}

bool Same(const std::optional<TCsvTable>& a, const std::optional<TCsvTable>& b) {
  if (!a || !b) return !a && !b;
  return a->Header == b->Header && a->Rows == b->Rows;
}

void CheckTable(const TCsvTable& table) {
  Require(!table.Header.empty(), "a table has a header");
  std::vector<std::vector<std::string>> all{table.Header};
  for (const auto& row : table.Rows) {
    Require(row.size() == table.Header.size(), "every row is as wide as the header");
    all.push_back(row);
  }
  std::string text;
  for (const auto& row : all) {
    for (const auto& cell : row) Require(IsUtf8(cell), "every cell is UTF-8");
    text += CsvLine(row) + "\r\n";
  }
  try {
    Require(ParseCsv(text, ',') == all, "cells written as CSV read back the same");
  } catch (const EUsage&) {
    Require(false, "cells written as CSV can be read");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TScratchFile file("units.csv");
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<TCsvTable> table = Read(file, bytes);
  if (table) CheckTable(*table);
  if (bytes.compare(0, kBom.size(), kBom) == 0) return 0;
  const std::optional<TCsvTable> marked = Read(file, std::string(kBom) + bytes);
  if (!table)
    Require(!marked, "a table refused stays refused behind a byte-order mark");
  else if (IsUtf8(bytes))
    Require(Same(table, marked), "a UTF-8 table reads the same behind a byte-order mark");
  else
    Require(!marked, "a Windows-1251 table behind a UTF-8 byte-order mark is refused");
  return 0;
}
