// What the station judges at a unit before its first write: whether the unit holds a row
// already done (it is then never written again), and whether its firmware carries every value
// the table gives it.
//
// A finished unit is recognised by what it holds, not by a record of the device: the codes of
// the table's columns are read from it (one read per column) and compared with each done row's
// own values, as a write of that row would send them to that firmware. A row that gives the
// unit's firmware no value of its own cannot be recognised, and is not.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "transfer/Comparison.h"

struct TPlan;
struct TUnit;
class TUnitSession;

// The wait text while a unit is read for this.
inline constexpr char ReadingUnitWait[] = "Чтение блока...";

class TDoneRows {
 public:
  TDoneRows(TUnitSession& unit, const std::vector<TPlan>& plans);

  // The first of the rows at the positions `done` whose values the unit holds, read over its
  // port; none when it holds none of them, or when the table has no column to read. Raises
  // EVestraError when the unit cannot be read.
  const TPlan* HeldBy(const TUnit& unit, const std::vector<int>& done);

 private:
  TUnitSession& Unit;
  const std::vector<TPlan>& Plans;
  std::vector<std::string> ColumnKeys;  // every key some row gives a value of its own
  // What a write of a row sends for its own values, by row and version number.
  std::map<std::pair<int, int>, std::vector<TCodeValue>> Expected;

  std::map<std::string, std::string> Read(const TUnit& unit, const std::vector<std::string>& codes);
  const std::vector<TCodeValue>& ExpectedOf(const TPlan& plan, int version);
};

// What a unit's firmware lacks of a plan. `Refused` ("прошивка 2.07: нет RingLevel (R03)"):
// values of the row's own, which end the unit's attempt before anything is written. `Skipped`
// ("шаблон: прошивка 2.07 без SleepMode (M19), ..."): the template's, which the write leaves out
// as the window does. Both empty when the version text is no number: the write says why.
struct TFirmwareVerdict {
  std::string Refused, Skipped;
};
TFirmwareVerdict JudgeFirmware(const TPlan& plan, const std::string& version);
