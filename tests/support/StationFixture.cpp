#include "tests/support/StationFixture.h"

#include <QJsonDocument>
#include <algorithm>

using namespace std::chrono_literals;

std::string Table(const std::vector<std::string>& labels) {
  std::string text = "Unit,PhoneSMS1\n";
  for (const auto& label : labels)
    text += label + ",+7900000" + std::to_string(1000 + std::stoi(label.substr(1))) + "\n";
  return text;
}

std::vector<std::string> Labels(int rows) {
  std::vector<std::string> labels;
  for (int n = 1; n <= rows; ++n) labels.push_back("r" + std::to_string(n));
  return labels;
}

void TStationTest::SetUp() {
  TCliTest::SetUp();
  StartUnit();
  Template = SaveUnit("template.ini");
  Unit.reset();
}

std::unique_ptr<TSimUnit> TStationTest::NewUnit(const std::string& port,
                                                const std::vector<std::string>& more) {
  std::vector<std::string> args = {"--link", PathOf(port)};
  args.insert(args.end(), more.begin(), more.end());
  auto unit = std::make_unique<TSimUnit>(args);
  MapPort(port, PathOf(port));
  return unit;
}

void TStationTest::Retire(std::unique_ptr<TSimUnit>& unit) {
  if (!unit) return;
  Units.push_back(unit->Commands());
  unit.reset();
}

std::unique_ptr<TCliProcess> TStationTest::Start(const std::string& port, const std::string& db,
                                                 const std::string& table,
                                                 const std::vector<std::string>& more) {
  std::vector<std::string> args = {
      "provision", Template, "--units", table,   "--port",
      port,        "--db",   db,        "--log", PathOf("log-" + port + ".csv")};
  args.insert(args.end(), more.begin(), more.end());
  return std::make_unique<TCliProcess>(args);
}

bool TStationTest::Serve(std::vector<TStation>& stations) {
  for (auto& s : stations) {
    // A unit left from a station that ended goes first: stopping, it removes its link, which
    // would take the new unit's link with it.
    Retire(s.Unit);
    s.Unit = NewUnit(s.Port);
    // A station that ran before is judged by what it says from now on.
    s.Printed = s.Process ? Lines(s.Process->Out()).size() : 0;
    s.Gone = s.Process ? Occurrences(s.Process->Err(), "блок отключён") : 0;
  }
  return WaitUntil(
      [&] {
        bool running = false;
        for (auto& s : stations) {
          if (!s.Process) continue;
          const std::string err = s.Process->Err();
          if (s.Unit && Lines(s.Process->Out()).size() > s.Printed) {
            ++s.Printed;
            Retire(s.Unit);
          } else if (!s.Unit && Occurrences(err, "блок отключён") > s.Gone) {
            ++s.Gone;
            s.Unit = NewUnit(s.Port);
          }
          if (const int exit = s.Process->Wait(0ms); exit >= 0) {
            EXPECT_EQ(exit, 0) << s.Port << ": " << err;
            s.Process.reset();
          }
          running |= s.Process != nullptr;
        }
        return !running;
      },
      240s);
}

bool TStationTest::Wrote(const std::vector<std::string>& commands) {
  return std::any_of(commands.begin(), commands.end(),
                     [](const std::string& c) { return c.rfind("#W", 0) == 0; });
}

int TStationTest::VerifiedRow(const std::vector<std::string>& commands) {
  int row = 0, written = 0, readBack = 0;
  bool stored = false;
  for (const auto& c : commands) {
    if (c.rfind("#WP01 7900000", 0) == 0) row = std::stoi(c.substr(13)) - 1000;
    if (c == "#S") stored = true;
    if (!stored && c.rfind("#W", 0) == 0) ++written;
    if (stored && c.rfind("#R", 0) == 0) ++readBack;
  }
  return stored && readBack == written ? row : 0;
}

std::map<int, int> TStationTest::VerifiedUnitsPerRow() const {
  std::map<int, int> verified;
  for (std::size_t i = 0; i < Units.size(); ++i)
    if (!Unrecorded.count(i)) ++verified[VerifiedRow(Units[i])];
  return verified;
}

std::vector<QJsonObject> TStationTest::Report(const std::string& db, std::string* summary) {
  const auto run = RunCli({"report", "--db", db, "--format", "json"});
  EXPECT_EQ(run.Exit, 0) << run.Err;
  if (summary) *summary = run.Err;
  std::vector<QJsonObject> attempts;
  for (const auto& line : Lines(run.Out))
    attempts.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  return attempts;
}

std::vector<std::string> TStationTest::Attempts(const std::string& db) {
  std::vector<std::string> attempts;
  for (const auto& a : Report(db))
    attempts.push_back(a["station"].toString().toStdString() + " " +
                       std::to_string(a["row"].toInt()) + " " +
                       a["result"].toString().toStdString());
  return attempts;
}

std::vector<std::string> TStationTest::UnitResults(const std::string& db, std::string* summary) {
  std::vector<std::string> results;
  for (const auto& a : Report(db, summary))
    results.push_back(a["unit"].toString().toStdString() + ":" +
                      a["result"].toString().toStdString());
  return results;
}

void TStationTest::ExpectEachRowOnExactlyOneUnit(const std::string& db, int rows) {
  std::map<int, int> ok;
  for (const auto& attempt : Report(db)) {
    EXPECT_NE(attempt["result"].toString(), "started");
    if (attempt["result"].toString() == "ok") ++ok[attempt["row"].toInt()];
  }
  const auto verified = VerifiedUnitsPerRow();
  for (int row = 1; row <= rows; ++row) {
    EXPECT_EQ(ok[row], 1) << "row " << row;
    EXPECT_EQ(verified.count(row) ? verified.at(row) : 0, 1) << "row " << row;
  }
}
