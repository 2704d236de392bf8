// The batch station's log: one CSV line per attempt, appended and on disk (fsync) before the
// station goes on. It is an export of the station's record for people and spreadsheets; the
// station never reads it back (its queue and record are the store's).
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

class TDurableFile;

struct TAttemptRecord;

class TProvisionLog {
 public:
  // The columns, in order; a new file starts with them as its header line.
  static const std::vector<std::string>& Columns();

  // Opens (creates) the log for appending; raises std::runtime_error when it cannot. An empty
  // name keeps no log.
  explicit TProvisionLog(const QString& fileName);
  ~TProvisionLog();
  TProvisionLog(const TProvisionLog&) = delete;
  TProvisionLog& operator=(const TProvisionLog&) = delete;

  // The fields of Columns() for an attempt of the record.
  static std::vector<std::string> Fields(const TAttemptRecord& attempt);
  // `fields` (of Columns(), then any more text columns) as a CSV line a spreadsheet opens without
  // running anything: a text cell that begins with "=", "+", "-", "@", TAB or CR gets a leading
  // apostrophe. Numbers and times stay as they are.
  static std::string SpreadsheetLine(std::vector<std::string> fields);

  // Appends one line with the fields of Columns() and waits until it is on disk.
  void Append(const std::vector<std::string>& fields);

 private:
  std::unique_ptr<TDurableFile> File;  // none without a log
  std::string Path;

  void WriteDurably(const std::string& line);
};
