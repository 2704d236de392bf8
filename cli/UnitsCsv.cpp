#include "cli/UnitsCsv.h"

#include <csv.h>

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <stdexcept>

#include "cli/Cli.h"
#include "link/Text.h"

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

// The text as UTF-8: a byte-order mark is dropped; a file that does not decode as UTF-8 was
// written by a Windows-1251 spreadsheet.
std::string ToUtf8(const QByteArray& bytes) {
  static const QByteArray kBom("\xEF\xBB\xBF");
  if (bytes.startsWith(kBom)) return bytes.mid(kBom.size()).toStdString();
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = decoder(bytes);
  if (!decoder.hasError()) return bytes.toStdString();
  return Cp1251ToUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
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
  const std::string text = ToUtf8(file.readAll());
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
