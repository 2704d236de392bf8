// Stations of a line as real processes, each on a port of its own with simulated units plugged
// in and out as a person does, judged from what the units received and from the record that
// `report` prints: every row on exactly one verified unit.
#pragma once

#include <QJsonObject>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/CliFixture.h"

// "Unit,PhoneSMS1" with a row per label "r<n>", its phone 7900000(1000+n).
std::string Table(const std::vector<std::string>& labels);
// "r1" .. "r<rows>".
std::vector<std::string> Labels(int rows);

// One station on its own port, with the unit it is given now.
struct TStation {
  std::string Port;
  std::unique_ptr<TCliProcess> Process;
  std::unique_ptr<TSimUnit> Unit;
  std::size_t Printed = 0, Gone = 0;
};

class TStationTest : public TCliTest {
 protected:
  std::string Template;  // made from the first unit in SetUp
  // Every unit's commands, once it is retired.
  std::vector<std::vector<std::string>> Units;
  // Units that answered their whole read-back while the station was killed before it could
  // record the "ok": their attempt reads "interrupted", and no station can know they hold their
  // row. Not counted as holding it.
  std::set<std::size_t> Unrecorded;

  void SetUp() override;

  // A fresh unit behind `port`, reached through a link of its own.
  std::unique_ptr<TSimUnit> NewUnit(const std::string& port,
                                    const std::vector<std::string>& more = {});
  // The unit is unplugged; its commands are kept in `Units`.
  void Retire(std::unique_ptr<TSimUnit>& unit);
  // `provision` of the template and `table` on `port`, logging into "log-<port>.csv".
  std::unique_ptr<TCliProcess> Start(const std::string& port, const std::string& db,
                                     const std::string& table,
                                     const std::vector<std::string>& more = {});
  // Runs the stations to their end, giving each a fresh unit once it has handled one and seen
  // it go; each must end with exit code 0. False when they did not end in time.
  bool Serve(std::vector<TStation>& stations);

  // Whether a unit got any "#W".
  static bool Wrote(const std::vector<std::string>& commands);
  // The row a unit got (0: none) when it got "#S" and the read-back of every code written.
  static int VerifiedRow(const std::vector<std::string>& commands);
  // Row number -> retired units that hold it verified.
  std::map<int, int> VerifiedUnitsPerRow() const;
  // The record as `report` prints it (JSON Lines), and its summary.
  std::vector<QJsonObject> Report(const std::string& db, std::string* summary = nullptr);
  // Every attempt of the record as "station row result".
  std::vector<std::string> Attempts(const std::string& db);
  // Every attempt of the record as "unit:result", and the report's summary.
  std::vector<std::string> UnitResults(const std::string& db, std::string* summary = nullptr);
  // Every row of 1..rows done by exactly one "ok" attempt and held by exactly one verified unit.
  void ExpectEachRowOnExactlyOneUnit(const std::string& db, int rows);
};
