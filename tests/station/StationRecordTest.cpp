// The station's queue and record: a row on exactly one verified unit whatever happens to the
// station (killed at any moment, beside another station on the same store, an edited table),
// judged from what the simulated units received and from the record that `report` prints.
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <thread>

#include "tests/support/PgServer.h"
#include "tests/support/StationFixture.h"

namespace {

using namespace std::chrono_literals;

struct TBackend {
  const char* Name;
  bool Postgres;
};
void PrintTo(const TBackend& c, std::ostream* out) { *out << c.Name; }

class TwoStations : public TStationTest, public ::testing::WithParamInterface<TBackend> {};

}  // namespace

using StationRecord = TStationTest;

TEST_F(StationRecord, KeepsEachRowOnOneUnitThroughKillsAtRandomMoments) {
  constexpr int kRows = 20, kKills = 30;
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(kRows)));
  // Units that answer a little late, so that a write lasts long enough to be hit often.
  auto newUnit = [&] {
    auto unit = std::make_unique<TSimUnit>(
        std::vector<std::string>{"--link", PathOf("COM3"), "--delay", "2"});
    MapPort("COM3", PathOf("COM3"));
    return unit;
  };
  // How long a station takes from its start to the end of its first unit, on this machine.
  auto unit = newUnit();
  auto station = Start("COM3", db, table);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return !station->Out().empty(); })) << station->Err();
  const auto cycle = std::chrono::steady_clock::now() - started;
  Retire(unit);
  station.reset();  // killed

  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long> moment(0, cycle / 1ms * 6 / 5);
  std::size_t attempts = Report(db).size(), interrupted = 0;
  // Attempts left "started" by a kill, with their unit when it was verified: the station's
  // journal may still bring that outcome in at the next start.
  std::map<std::size_t, std::optional<std::size_t>> cut;
  for (int kill = 0; kill < kKills; ++kill) {
    unit = newUnit();
    station = Start("COM3", db, table);
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    station.reset();  // killed
    const auto record = Report(db);
    const bool attempted = record.size() > attempts;
    attempts = record.size();
    const std::string result = attempted ? record.back()["result"].toString().toStdString() : "";
    const auto commands = unit->Commands();
    // Recorded before the first command; "ok" only for a verified unit.
    EXPECT_TRUE(attempted || !Wrote(commands)) << "kill " << kill;
    if (result == "ok") {
      EXPECT_NE(VerifiedRow(commands), 0) << "kill " << kill;
    }
    if (result == "started") {
      ++interrupted;
      cut[attempts - 1] = VerifiedRow(commands) != 0 ? std::optional(Units.size()) : std::nullopt;
    }
    Retire(unit);
  }
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process = Start("COM3", db, table);
  ASSERT_TRUE(Serve(stations));

  const auto record = Report(db);
  std::size_t recordedLater = 0;
  for (const auto& [attempt, verified] : cut) {
    const QString result = record.at(attempt)["result"].toString();
    EXPECT_TRUE(result == "interrupted" || (verified && result == "ok")) << "attempt " << attempt;
    // Killed after the unit was verified and before anything kept it: not counted as verified.
    if (verified && result != "ok") Unrecorded.insert(*verified);
    recordedLater += verified && result == "ok";
  }
  ExpectEachRowOnExactlyOneUnit(db, kRows);
  EXPECT_GT(interrupted, 0u) << "no kill came in the middle of a unit";
  std::printf("%zu of %d kills in the middle of a unit; %zu verified units recorded at a restart\n",
              interrupted, kKills, recordedLater);
}

TEST_P(TwoStations, WriteEachRowOnExactlyOneUnit) {
  std::unique_ptr<TPgServer> server;
  std::string db = PathOf("station.db"), other = db;
  if (GetParam().Postgres) {
    server = std::make_unique<TPgServer>();
    db = server->NewDatabase("line");
    other = server->Words("line");  // the same database, named as libpq names it
  }
  const std::string table = WriteFile("units.csv", Table(Labels(6)));
  std::vector<TStation> stations(2);
  stations[0].Port = "COM3";
  stations[1].Port = "COM4";
  stations[0].Process = Start("COM3", db, table);
  stations[1].Process = Start("COM4", other, table);

  ASSERT_TRUE(Serve(stations));

  ExpectEachRowOnExactlyOneUnit(db, 6);
}

INSTANTIATE_TEST_SUITE_P(Cli, TwoStations,
                         ::testing::Values(TBackend{"SQLite", false}, TBackend{"PostgreSQL", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StationRecord, ResumesAnEditedTableByContentAndReportsEveryAttempt) {
  const std::string db = PathOf("station.db");
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process =
      Start("COM3", db, WriteFile("v1.csv", Table({"r1", "r2", "r3", "r4"})), {"--count", "2"});
  ASSERT_TRUE(Serve(stations));
  // A row inserted at the top, r3 changed (its phone), r2 removed.
  std::string edited = Table({"r9", "r1", "r3", "r4"});
  edited.replace(edited.find("79000001003"), 11, "79000001005");
  stations[0].Process = Start("COM3", db, WriteFile("v2.csv", edited));
  ASSERT_TRUE(Serve(stations));

  std::string summary;
  EXPECT_EQ(UnitResults(db, &summary),
            (std::vector<std::string>{"r1:ok", "r2:ok", "r9:ok", "r3:ok", "r4:ok"}));
  EXPECT_NE(summary.find("Строк записано: 4, осталось: 0; попыток: ok 5"), std::string::npos)
      << summary;
  // The log is the record's export: the report's CSV lines without the station.
  const auto report = Lines(RunCli({"report", "--db", db}).Out);
  const auto log = Lines(ReadFile(PathOf("log-COM3.csv")));
  ASSERT_EQ(report.size(), 6u);
  ASSERT_EQ(log.size(), 6u);
  for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(report[i].rfind(log[i], 0), 0u) << log[i];
}

TEST_F(StationRecord, OffersTheRowOfADeadStationToAnotherOnceItsLeaseRanOut) {
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(2)));
  // Station A dies in the middle of row 1.
  auto unit = std::make_unique<TSimUnit>(
      std::vector<std::string>{"--link", PathOf("COM3"), "--delay", "20"});
  MapPort("COM3", PathOf("COM3"));
  auto dying = Start("COM3", db, table, {"--station", "A"});
  ASSERT_TRUE(WaitUntil([&] { return Wrote(unit->Commands()); })) << dying->Err();
  dying.reset();
  Retire(unit);
  // While A's lease runs, station B gets row 2 only.
  std::vector<TStation> stations(1);
  stations[0].Port = "COM4";
  stations[0].Process = Start("COM4", db, table, {"--station", "B", "--count", "1"});
  ASSERT_TRUE(Serve(stations));
  {
    // Five minutes later, as far as the lease knows.
    QSqlDatabase sql = QSqlDatabase::addDatabase("QSQLITE", "later");
    sql.setDatabaseName(QString::fromStdString(db));
    ASSERT_TRUE(sql.open());
    EXPECT_TRUE(QSqlQuery(sql).exec("UPDATE queue_rows SET lease_until = lease_until - 300001"));
    EXPECT_TRUE(QSqlQuery(sql).exec("UPDATE attempts SET lease_until = lease_until - 300001"));
  }
  QSqlDatabase::removeDatabase("later");
  // The report says what became of A's attempt; the record still holds what A left.
  EXPECT_EQ(Report(db).front()["result"].toString(), "interrupted");
  {
    QSqlDatabase sql = QSqlDatabase::addDatabase("QSQLITE", "record");
    sql.setDatabaseName(QString::fromStdString(db));
    ASSERT_TRUE(sql.open());
    QSqlQuery left(sql);
    ASSERT_TRUE(left.exec("SELECT result FROM attempts ORDER BY id LIMIT 1") && left.next());
    EXPECT_EQ(left.value(0).toString(), "started");
  }
  QSqlDatabase::removeDatabase("record");
  stations[0].Process = Start("COM4", db, table, {"--station", "B"});
  ASSERT_TRUE(Serve(stations));

  EXPECT_EQ(Attempts(db), (std::vector<std::string>{"A 1 interrupted", "B 2 ok", "B 1 ok"}));
}

TEST_F(StationRecord, AStationPausedPastItsLeaseNeverSendsTheFinalCommand) {
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(2)));
  auto slow = std::make_unique<TSimUnit>(
      std::vector<std::string>{"--link", PathOf("COM3"), "--delay", "40"});
  MapPort("COM3", PathOf("COM3"));
  auto paused = Start("COM3", db, table, {"--station", "A", "--lease", "5"});
  ASSERT_TRUE(WaitUntil([&] { return Wrote(slow->Commands()); })) << paused->Err();
  // As a laptop that sleeps: its lease runs out meanwhile, and station B takes the row.
  kill(paused->Id(), SIGSTOP);
  std::this_thread::sleep_for(6s);
  auto unit = NewUnit("COM4");
  auto other = Start("COM4", db, table, {"--station", "B", "--lease", "5", "--count", "1"});
  EXPECT_EQ(other->Wait(), 0) << other->Err();

  kill(paused->Id(), SIGCONT);

  ASSERT_TRUE(WaitUntil([&] {
    return paused->Out().find("«#S» не отправлен") != std::string::npos;
  })) << paused->Out()
      << paused->Err();
  paused->Signal(SIGTERM);
  EXPECT_EQ(paused->Wait(), 143) << paused->Err();
  const auto half = slow->Commands();
  EXPECT_EQ(std::find(half.begin(), half.end(), "#S"), half.end());
  EXPECT_EQ(VerifiedRow(unit->Commands()), 1);
  EXPECT_EQ(Attempts(db), (std::vector<std::string>{"A 1 lost", "B 1 ok"}));
}

TEST_F(StationRecord, RefusesAStoreItCannotOpenOrWriteBeforeSendingAnything) {
  const std::string table = WriteFile("units.csv", Table(Labels(2)));
  auto unit = NewUnit("COM3");
  for (const std::string& db :
       {PathOf("no-such-folder/station.db"), WriteFile("garbage.db", std::string(4096, 'x')),
        std::string("postgresql://vestra@/none?host=/no-such-folder")}) {
    const auto run =
        RunCli({"provision", Template, "--units", table, "--port", "COM3", "--db", db});
    EXPECT_EQ(run.Exit, 1) << db;
    EXPECT_NE(run.Err.find("Ошибка: "), std::string::npos) << run.Err;
  }
  EXPECT_EQ(unit->Commands(), std::vector<std::string>{});
}
