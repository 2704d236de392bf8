// The batch station's log: one CSV line per unit, appended and on disk (fsync) before the
// station goes on, so that a crash or a power cut loses no line that was written.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <vector>

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

  // Row numbers logged as "ok" before this run.
  const std::set<int>& DoneRows() const { return Done; }
  // Appends one line with the fields of Columns() and waits until it is on disk.
  void Append(const std::vector<std::string>& fields);

 private:
  int Fd = -1;
  std::string Path;
  std::set<int> Done;
  bool Torn = false;  // the old log ends in the middle of a line

  void WriteDurably(const std::string& line);
};
