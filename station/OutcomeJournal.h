// The station's own journal of outcomes: what a unit already holds is never lost, whatever
// happens to the database.
//
// Between a unit's verification and the database's commit of its outcome, the outcome lives in a
// small file of this station's, beside the database (SQLite: the folder "<file>-outcomes"; a
// PostgreSQL line: a folder of the user's data named after the connection). Each running station
// has one such file, made and given its room on disk when the station starts (so that a disk that
// fills up later still takes the outcome), locked while the station lives, holding at most one
// outcome: the station takes no new unit while an outcome waits for the database. The outcome is
// written and on disk (fsync) before the commit is tried, and cleared once it is committed.
//
// The next station to start on the same database replays every outcome left by a station that is
// gone (its file no longer locked) before anything claims a row; a live station's file is left
// alone. Replaying is idempotent: an outcome the database already holds changes nothing.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/StationStore.h"

class TDurableFile;

// One outcome as the journal keeps it.
struct TJournaledOutcome {
  long long Attempt = 0;
  long long RowId = 0;  // 0: the template alone, no row
  int Position = 0;
  std::string Label;
  TOutcomeRecord Outcome;
};

class TOutcomeJournal {
 public:
  // The journal's folder for the database `db`.
  static QString FolderFor(const QString& db);

  // Commits to `store` every outcome that a station gone from `folder` left; the outcomes
  // replayed. Raises EVestraError when the database refuses one (it stays in its file).
  static std::vector<TJournaledOutcome> Replay(const QString& folder, TStationStore& store);

  // Makes this station's file in `folder`, locked and with its room taken; raises EVestraError
  // when it cannot.
  explicit TOutcomeJournal(const QString& folder);
  // Removes the file when it holds no outcome; otherwise leaves it for the next start.
  ~TOutcomeJournal();
  TOutcomeJournal(const TOutcomeJournal&) = delete;
  TOutcomeJournal& operator=(const TOutcomeJournal&) = delete;

  // Writes `outcome` over whatever the file held and waits until it is on disk; raises
  // EVestraError when it cannot.
  void Keep(const TJournaledOutcome& outcome);
  // The outcome is in the database: the file holds none.
  void Clear();
  const std::string& Path() const { return FilePath; }

 private:
  std::unique_ptr<TDurableFile> File;  // locked while the station lives
  std::string FilePath, Folder;
  bool Holds = false;
};
