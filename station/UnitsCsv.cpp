#include "station/UnitsCsv.h"

#include <csv.h>

#include <QFile>
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "link/Text.h"
#include "station/Session.h"

namespace {

struct TCollector {
  std::vector<std::vector<std::string>> Rows;
  std::vector<std::string> Current;
};

void EndField(void* field, std::size_t size, void* data) {
  auto* collector = static_cast<TCollector*>(data);
  collector->Current.emplace_back(static_cast<const char*>(field), size);
}

void EndRow(int, void* data) {
  auto* collector = static_cast<TCollector*>(data);
  collector->Rows.push_back(std::move(collector->Current));
  collector->Current.clear();
}

// The valid UTF-8 multi-byte sequences: lead bytes, the range of the byte after the lead, and
// the length (later continuation bytes are 0x80..0xBF). Overlong forms, surrogates and code
// points above U+10FFFF are not among them.
struct TUtf8Lead {
  unsigned char LeadLow, LeadHigh, NextLow, NextHigh;
  std::size_t Length;
};
const TUtf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
    {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
    {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// The length of the valid UTF-8 sequence at the start of `bytes`; 0 when none starts there.
std::size_t Utf8Sequence(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (byte(0) < 0x80) return 1;
  for (const auto& lead : kUtf8Leads) {
    if (byte(0) < lead.LeadLow || byte(0) > lead.LeadHigh) continue;
    if (bytes.size() < lead.Length || byte(1) < lead.NextLow || byte(1) > lead.NextHigh) return 0;
    for (std::size_t i = 2; i < lead.Length; ++i)
      if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return lead.Length;
  }
  return 0;
}

// The text as UTF-8. A table is UTF-8 when it decodes as UTF-8, with or without a byte-order
// mark; one that does not is Windows-1251 only when it holds no UTF-8 multi-byte sequence at
// all. Anything else would be read as mojibake and written to units as such: refused, naming
// the line (counted from the header as 1) of the first byte that is not UTF-8.
std::string ToUtf8(std::string_view bytes, const std::string& fileName) {
  constexpr std::string_view kBom("\xEF\xBB\xBF");
  const bool bom = bytes.substr(0, kBom.size()) == kBom;
  if (bom) bytes.remove_prefix(kBom.size());
  std::optional<std::size_t> foreign;
  bool multiByte = false;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8Sequence(bytes.substr(at));
    if (length == 0 && !foreign) foreign = at;
    multiByte |= length > 1;
    at += std::max<std::size_t>(length, 1);
  }
  if (!foreign) return std::string(bytes);
  const auto line =
      std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(*foreign), '\n') + 1;
  if (bom)
    throw EUsage{fileName + ": метка UTF-8, но текст не в UTF-8, строка " + std::to_string(line)};
  if (multiByte) throw EUsage{fileName + ": смешанная кодировка, строка " + std::to_string(line)};
  return Cp1251ToUtf8(bytes);
}

}  // namespace

std::vector<std::vector<std::string>> ParseCsv(const std::string& utf8, char separator,
                                               bool strict) {
  csv_parser parser;
  if (csv_init(&parser, strict ? CSV_STRICT | CSV_STRICT_FINI : 0) != 0)
    throw std::runtime_error("csv_init");
  csv_set_delim(&parser, static_cast<unsigned char>(separator));
  TCollector collector;
  const bool parsed =
      csv_parse(&parser, utf8.data(), utf8.size(), EndField, EndRow, &collector) == utf8.size() &&
      csv_fini(&parser, EndField, EndRow, &collector) == 0;
  const std::string reason = csv_strerror(csv_error(&parser));
  csv_free(&parser);
  if (!parsed) throw EUsage{"неверный CSV: " + reason};
  return std::move(collector.Rows);
}

TCsvTable ReadCsvTable(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("Не удалось открыть файл " + fileName.toStdString() + ": " +
                             file.errorString().toStdString());
  const QByteArray bytes = file.readAll();
  const std::string text =
      ToUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
             fileName.toStdString());
  // Spreadsheets on Russian systems separate with ";"; keys never hold either.
  const std::string header = text.substr(0, text.find_first_of("\r\n"));
  const char separator =
      std::count(header.begin(), header.end(), ';') > std::count(header.begin(), header.end(), ',')
          ? ';'
          : ',';
  auto rows = ParseCsv(text, separator);
  if (rows.empty()) throw EUsage{fileName.toStdString() + ": нет строки заголовка"};
  TCsvTable table;
  table.Header = std::move(rows.front());
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (rows[i].size() != table.Header.size())
      throw EUsage{fileName.toStdString() + ": в строке " + std::to_string(i) + " " +
                   std::to_string(rows[i].size()) + " полей, в заголовке " +
                   std::to_string(table.Header.size())};
    table.Rows.push_back(std::move(rows[i]));
  }
  return table;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (const auto& field : fields) {
    if (!line.empty()) line += ',';
    std::string quoted(field.size() * 2 + 2, '\0');
    quoted.resize(csv_write(quoted.data(), quoted.size(), field.data(), field.size()));
    line += quoted;
  }
  return line;
}
