// CSV files of the batch station: the units table it reads and its log.
//
// A units table comes from spreadsheets: "," or ";" as separator (taken from the header line),
// quoted fields, UTF-8 with or without a byte-order mark, or Windows-1251 (a file that is not
// UTF-8 and holds no UTF-8 multi-byte sequence at all; a mixture of the two is refused, never
// guessed). Parsing is libcsv's. Fields come back as UTF-8 text.
#pragma once

#include <QString>
#include <string>
#include <vector>

struct TCsvTable {
  std::vector<std::string> Header;
  std::vector<std::vector<std::string>> Rows;  // every row has as many fields as the header
};

// Raises std::runtime_error with a Russian text when the file cannot be read, and EUsage when it
// is not a table (its encoding, a parse error, a row whose field count differs from the
// header's).
TCsvTable ReadCsvTable(const QString& fileName);

// Parses UTF-8 CSV text with `separator`; the same failures as ReadCsvTable, rows of any width.
// Not `strict`, a quote left open at the end (a line cut by a power cut) closes there.
std::vector<std::vector<std::string>> ParseCsv(const std::string& utf8, char separator,
                                               bool strict = true);

// One CSV line (no line end) with every field quoted, as libcsv writes fields.
std::string CsvLine(const std::vector<std::string>& fields);
