#include "station/ProvisionLog.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "station/StationStore.h"
#include "station/System.h"
#include "station/UnitsCsv.h"

namespace {

std::runtime_error Failure(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " " + path + ": " + LastSystemError());
}

}  // namespace

const std::vector<std::string>& TProvisionLog::Columns() {
  static const std::vector<std::string> columns = {"time",   "port",    "device",  "firmware",
                                                   "row",    "unit",    "result",  "detail",
                                                   "wait_s", "write_s", "verify_s"};
  return columns;
}

std::vector<std::string> TProvisionLog::Fields(const TAttemptRecord& a) {
  auto seconds = [](const std::optional<double>& value) {
    if (!value) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return std::string(text);
  };
  return {a.Time,
          a.Port,
          a.Device,
          a.Firmware,
          a.Position > 0 ? std::to_string(a.Position) : std::string(),
          a.Label,
          a.Result,
          a.Detail,
          seconds(a.WaitS),
          seconds(a.WriteS),
          seconds(a.VerifyS)};
}

std::string TProvisionLog::SpreadsheetLine(std::vector<std::string> fields) {
  static const std::vector<std::string> numbers = {"time", "row", "wait_s", "write_s", "verify_s"};
  const auto& columns = Columns();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const bool number = i < columns.size() &&
                        std::find(numbers.begin(), numbers.end(), columns[i]) != numbers.end();
    // A cell that begins so is a formula to a spreadsheet, and a formula may run programs.
    if (!number && !fields[i].empty() && std::strchr("=+-@\t\r", fields[i][0]))
      fields[i].insert(0, "'");
  }
  return CsvLine(fields);
}

TProvisionLog::TProvisionLog(const QString& fileName) : Path(fileName.toStdString()) {
  if (fileName.isEmpty()) return;
  QFile old(fileName);
  bool torn = false;
  if (old.exists() && old.size() > 0) {
    // A line cut short by a crash or a full disk must not swallow the next one.
    if (!old.open(QIODevice::ReadOnly) || !old.seek(old.size() - 1))
      throw Failure("Не удалось открыть журнал", Path);
    torn = old.read(1) != "\n";
  }
  const bool fresh = !old.exists() || old.size() == 0;
  File = std::make_unique<TDurableFile>(Path, TDurableFile::TOpen::Append);
  if (!File->Opened()) throw Failure("Не удалось открыть журнал", Path);
  if (torn) WriteDurably("\n");
  if (fresh) {
    WriteDurably(CsvLine(Columns()) + "\n");
    // The new file's name must survive a power cut as well as its lines.
    SyncFolder(QFileInfo(fileName).absolutePath().toStdString());
  }
}

TProvisionLog::~TProvisionLog() = default;

void TProvisionLog::Append(const std::vector<std::string>& fields) {
  if (File) WriteDurably(SpreadsheetLine(fields) + "\n");
}

void TProvisionLog::WriteDurably(const std::string& line) {
  // Each line lands at the end, whoever else appends.
  if (!File->Append(line) || !File->Sync()) throw Failure("Не удалось записать журнал", Path);
}
