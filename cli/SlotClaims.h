// The rows that the slots of one station share, until the station's queue lives in a database:
// a claims file, made by the station for its workers, through which each worker claims the row
// for the unit on its port, so that no row goes to two units at once.
//
// Lines "claim ROW PID", "done ROW" and "free ROW" are appended under an exclusive lock; the
// last line about a row holds. A claim whose worker is gone (killed mid-write) counts as free,
// so its row goes to another unit. Rows logged "ok" by an earlier run are done from the start.
#pragma once

#include <QString>
#include <optional>
#include <set>
#include <vector>

class TSlotClaims {
 public:
  // Raises std::runtime_error when the file cannot be opened.
  TSlotClaims(const QString& path, std::set<int> doneBefore);
  ~TSlotClaims();
  TSlotClaims(const TSlotClaims&) = delete;
  TSlotClaims& operator=(const TSlotClaims&) = delete;

  // Claims the first of `rows` (in order) that is neither done nor claimed by a living worker.
  // None when there is no such row; `allDone` tells whether every row is done.
  std::optional<int> Claim(const std::vector<int>& rows, bool& allDone);
  // Whether every one of `rows` is done.
  bool AllDone(const std::vector<int>& rows);
  // Ends this worker's claim: the row is done, or free for another unit.
  void Finish(int row, bool done);

 private:
  int Fd = -1;
  std::set<int> DoneBefore;

  struct TState {
    std::set<int> Done, Claimed;
  };
  TState Read() const;
  void Append(const std::string& line);
};
