// What the record does when the database or the people around it fail the station: the database
// locked, full or stopped in the middle of a unit, the station killed meanwhile, a database file
// deleted, two stations with one name, a batch finished by another station, the same table
// saved otherwise, spreadsheets and passwords. Each fault is caused, not imitated.
#include <signal.h>
#include <sys/mount.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "station/StationStore.h"
#include "tests/support/HeldDatabase.h"
#include "tests/support/PgServer.h"
#include "tests/support/StationFixture.h"

namespace {

// What happens to the database while a unit is written: another program holds SQLite's write
// lock past its busy timeout, the disk fills up, or the PostgreSQL server stops.
enum class TOutage { Locked, Full, Stopped };
// How the station's wait for the database ends: the database comes back, the station is stopped
// (SIGTERM) or killed (SIGKILL).
enum class TEnd { Back, Stopped, Killed };
struct TOutageCase {
  const char* Name;
  TOutage Outage;
  TEnd End;
};
void PrintTo(const TOutageCase& c, std::ostream* out) { *out << c.Name; }

class DatabaseOutages : public TStationTest, public ::testing::WithParamInterface<TOutageCase> {
 protected:
  std::string Small;  // a small file system of the test's own
  void TearDown() override {
    if (!Small.empty()) umount2(Small.c_str(), MNT_DETACH);
    TStationTest::TearDown();
  }
};

// Fills the file system of `folder` with one file; its path.
std::string FillUp(const std::string& folder) {
  const std::string path = folder + "/filler";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const std::string block(65536, 'x');
  while (file && std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
  }
  if (file) std::fclose(file);
  return path;
}

}  // namespace

using StationRecord = TStationTest;

TEST_P(DatabaseOutages, KeepTheOutcomeOfAVerifiedUnit) {
  const auto& c = GetParam();
  std::unique_ptr<TPgServer> server;
  std::string db = PathOf("station.db");
  if (c.Outage == TOutage::Stopped) {
    server = std::make_unique<TPgServer>();
    db = server->NewDatabase("line");
  }
  if (c.Outage == TOutage::Full) {
    const std::string small = PathOf("small");
    std::filesystem::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0)
      GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(errno);
    Small = small;
    db = Small + "/station.db";
  }
  const std::string table = WriteFile("units.csv", Table(Labels(2)));
  auto unit = NewUnit("COM3", {"--delay", "5"});
  auto station = Start("COM3", db, table, {"--count", "1"});
  ASSERT_TRUE(WaitUntil([&] { return Wrote(unit->Commands()); })) << station->Err();

  std::unique_ptr<THeldDatabase> lock;
  std::string filler;
  if (c.Outage == TOutage::Locked) lock = std::make_unique<THeldDatabase>(db);
  if (c.Outage == TOutage::Full) filler = FillUp(Small);
  if (c.Outage == TOutage::Stopped) server->Stop();
  ASSERT_TRUE(WaitUntil([&] {
    return station->Err().find("запись в базу не удалась, повтор через") != std::string::npos;
  })) << station->Err();
  if (c.End == TEnd::Killed) station.reset();
  if (c.End == TEnd::Stopped) {
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 143) << station->Err();
    EXPECT_NE(station->Err().find("сохранён в журнале станции"), std::string::npos)
        << station->Err();
    station.reset();
  }
  lock.reset();
  if (!filler.empty()) std::filesystem::remove(filler);
  if (server) server->Start();
  if (station) {
    EXPECT_EQ(station->Wait(), 0) << station->Err();
  }
  Retire(unit);

  // The next start goes on with row 2: row 1 is on the unit that was written.
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process = Start("COM3", db, table);
  ASSERT_TRUE(Serve(stations));
  ExpectEachRowOnExactlyOneUnit(db, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, DatabaseOutages,
    ::testing::Values(TOutageCase{"LockedPastTheBusyTimeout", TOutage::Locked, TEnd::Back},
                      TOutageCase{"LockedAndTheStationStopped", TOutage::Locked, TEnd::Stopped},
                      TOutageCase{"LockedAndTheStationKilled", TOutage::Locked, TEnd::Killed},
                      TOutageCase{"DiskFull", TOutage::Full, TEnd::Back},
                      TOutageCase{"PostgresStopped", TOutage::Stopped, TEnd::Back}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StationRecord, ReconnectsToAPostgresServerThatRestartedWhileItWaited) {
  TPgServer server;
  const std::string db = server.NewDatabase("line"), table = WriteFile("units.csv", Table({"r1"}));
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process = Start("COM3", db, table);
  ASSERT_TRUE(WaitUntil(
      [&] { return stations[0].Process->Err().find("Ожидание блока") != std::string::npos; }));
  server.Stop();
  server.Start();
  ASSERT_TRUE(Serve(stations));
  ExpectEachRowOnExactlyOneUnit(db, 1);
}

TEST_F(StationRecord, LeavesTheAttemptOfALiveStationWithTheSameName) {
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(3)));
  std::vector<TStation> stations(2);
  stations[0].Port = "COM3";
  stations[1].Port = "COM4";
  auto unit = NewUnit("COM3", {"--delay", "5"});
  stations[0].Process = Start("COM3", db, table, {"--station", "line1"});
  ASSERT_TRUE(WaitUntil([&] { return Wrote(unit->Commands()); })) << stations[0].Process->Err();
  // The same name started again elsewhere while the first is in the middle of its unit.
  stations[1].Process = Start("COM4", db, table, {"--station", "line1"});
  ASSERT_TRUE(WaitUntil([&] { return !stations[0].Process->Out().empty(); }))
      << stations[0].Process->Err();
  Retire(unit);
  ASSERT_TRUE(WaitUntil(
      [&] { return stations[0].Process->Err().find("блок отключён") != std::string::npos; }));
  ASSERT_TRUE(Serve(stations));

  ExpectEachRowOnExactlyOneUnit(db, 3);
  for (const auto& attempt : Report(db)) EXPECT_EQ(attempt["result"].toString(), "ok");
}

namespace {

struct TFileCase {
  const char* Name;
  bool Replaced;  // by a copy of itself; otherwise deleted
};
void PrintTo(const TFileCase& c, std::ostream* out) { *out << c.Name; }

class LostDatabases : public TStationTest, public ::testing::WithParamInterface<TFileCase> {};

}  // namespace

TEST_P(LostDatabases, StopTheStationBeforeTheNextUnit) {
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(2)));
  auto unit = NewUnit("COM3");
  TCliProcess station({"provision", Template, "--units", table, "--port", "COM3", "--db", db});
  ASSERT_TRUE(WaitUntil([&] { return !station.Out().empty(); })) << station.Err();
  if (GetParam().Replaced) {
    std::filesystem::copy_file(db, db + ".copy");
    std::filesystem::rename(db + ".copy", db);
  } else {
    std::filesystem::remove(db);
  }
  Retire(unit);
  unit = NewUnit("COM3");

  EXPECT_EQ(station.Wait(), 1) << station.Err();
  EXPECT_NE(station.Err().find("удалена или заменена другим файлом"), std::string::npos)
      << station.Err();
  EXPECT_FALSE(Wrote(unit->Commands()));
}

INSTANTIATE_TEST_SUITE_P(Cli, LostDatabases,
                         ::testing::Values(TFileCase{"Deleted", false},
                                           TFileCase{"Replaced", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StationRecord, ExportsLabelsThatLookLikeFormulasAsText) {
  const std::vector<std::string> labels = {"=1+2", "+3", "-4", "@SUM(1+1)*cmd|'/C calc'!A0"};
  std::string text = "Unit,PhoneSMS1\n";
  for (std::size_t i = 0; i < labels.size(); ++i)
    text += labels[i] + ",+7900000" + std::to_string(1001 + i) + "\n";
  const std::string db = PathOf("station.db");
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process = Start("COM3", db, WriteFile("units.csv", text));
  ASSERT_TRUE(Serve(stations));

  const std::string log = ReadFile(PathOf("log-COM3.csv"));
  const std::string report = RunCli({"report", "--db", db}).Out;
  const auto record = Report(db);
  ASSERT_EQ(record.size(), labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(record[i]["unit"].toString().toStdString(), labels[i]);  // JSON holds it as it is
    const std::string cell = "\"'" + labels[i] + "\"";
    EXPECT_EQ(Occurrences(log, cell), 1u) << log;
    EXPECT_EQ(Occurrences(report, cell), 1u) << report;
  }
}

TEST_F(StationRecord, NeverShowsTheDatabasePassword) {
  TPgServer server;
  // The test's server trusts every local connection: the password is only carried along.
  for (const bool uri : {true, false}) {
    const std::string name = uri ? "uri" : "words", made = server.NewDatabase(name);
    const std::string db = uri ? "postgresql://vestra:S3cretPW@" + made.substr(made.find('@') + 1)
                               : server.Words(name) + " password=S3cretPW";
    auto first = NewUnit("COM3"), second = NewUnit("COM4");
    TCliProcess station({"provision", Template, "--units", WriteFile("units.csv", Table(Labels(3))),
                         "--port", "COM3", "--port", "COM4", "--db", db});
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(station.Out(), " блок ") == 2; }))
        << station.Err();
    // What every user of the PC may read of the workers, each still holding its unit.
    const std::vector<pid_t> workers = ChildrenOf(station.Id());
    EXPECT_EQ(workers.size(), 2u);
    for (const pid_t worker : workers)
      EXPECT_EQ(CommandLineOf(worker).find("S3cretPW"), std::string::npos) << CommandLineOf(worker);
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 130) << station.Err();
    EXPECT_NE(station.Err().find("Продолжить: "), std::string::npos) << station.Err();
    EXPECT_NE(station.Err().find("***"), std::string::npos) << station.Err();
    EXPECT_EQ((station.Out() + station.Err()).find("S3cretPW"), std::string::npos) << station.Err();
    auto results = UnitResults(db);
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, (std::vector<std::string>{"r1:ok", "r2:ok"}));
  }
}

namespace {

struct TFinishedCase {
  const char* Name;
  bool Holding;  // a unit is plugged into the waiting station while the last row is written
  bool Slots;    // the waiting station runs its port as a slot (--json)
};
void PrintTo(const TFinishedCase& c, std::ostream* out) { *out << c.Name; }

class BatchesFinishedElsewhere : public TStationTest,
                                 public ::testing::WithParamInterface<TFinishedCase> {};

}  // namespace

TEST_P(BatchesFinishedElsewhere, EndEveryStationSharingThem) {
  const auto& c = GetParam();
  const std::string db = PathOf("station.db"), table = WriteFile("units.csv", Table(Labels(2)));
  auto waiting = Start("COM4", db, table,
                       c.Slots ? std::vector<std::string>{"--json"} : std::vector<std::string>{});
  auto unit = NewUnit("COM3");
  auto writing = Start("COM3", db, table);
  ASSERT_TRUE(WaitUntil([&] { return !writing->Out().empty(); })) << writing->Err();
  Retire(unit);
  ASSERT_TRUE(WaitUntil([&] { return writing->Err().find("блок отключён") != std::string::npos; }));
  unit = NewUnit("COM3", {"--delay", "5"});
  ASSERT_TRUE(WaitUntil([&] { return Wrote(unit->Commands()); })) << writing->Err();
  std::unique_ptr<TSimUnit> held;
  if (c.Holding) {
    held = NewUnit("COM4");
    ASSERT_TRUE(WaitUntil([&] {
      return waiting->Err().find("Свободных строк нет") != std::string::npos;
    })) << waiting->Err();
  }

  EXPECT_EQ(writing->Wait(), 0) << writing->Err();
  EXPECT_EQ(waiting->Wait(std::chrono::seconds(10)), 0) << waiting->Err();
  EXPECT_NE(waiting->Err().find("Все строки таблицы записаны"), std::string::npos)
      << waiting->Err();
  if (held) {
    EXPECT_FALSE(Wrote(held->Commands()));
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, BatchesFinishedElsewhere,
                         ::testing::Values(TFinishedCase{"Waiting", false, false},
                                           TFinishedCase{"HoldingAUnit", true, false},
                                           TFinishedCase{"WaitingAsASlot", false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

// The same template and table as people save them otherwise.
struct TRewrittenCase {
  const char* Name;
  std::string Table;                                  // rows r1 and r2 of Table(Labels(2))
  std::string (*Template)(const std::string& bytes);  // the template's bytes, saved anew
};
void PrintTo(const TRewrittenCase& c, std::ostream* out) { *out << c.Name; }

std::string AsItIs(const std::string& bytes) { return bytes; }
std::string OtherLineEnds(const std::string& bytes) {
  std::string other;
  const bool crlf = bytes.find("\r\n") != std::string::npos;
  for (char c : bytes)
    if (c != '\r') other += crlf || c != '\n' ? std::string(1, c) : std::string("\r\n");
  return other;
}

class RewrittenBatches : public TStationTest,
                         public ::testing::WithParamInterface<TRewrittenCase> {};

}  // namespace

TEST_P(RewrittenBatches, KeepTheRowsDone) {
  const auto& c = GetParam();
  const std::string db = PathOf("station.db");
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process =
      Start("COM3", db, WriteFile("units.csv", Table(Labels(2))), {"--count", "1"});
  ASSERT_TRUE(Serve(stations));
  Template = WriteFile("rewritten.ini", c.Template(ReadFile(Template)));
  stations[0].Process = Start("COM3", db, WriteFile("rewritten.csv", c.Table));
  ASSERT_TRUE(Serve(stations));

  EXPECT_EQ(UnitResults(db), (std::vector<std::string>{"r1:ok", "r2:ok"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RewrittenBatches,
    ::testing::Values(
        TRewrittenCase{"TemplateWithOtherLineEnds", Table(Labels(2)), OtherLineEnds},
        TRewrittenCase{"PhonesWrittenAsPeopleWriteThem",
                       "Unit,PhoneSMS1\nr1,+7 (900) 000-10-01\nr2,+7 900 000-10-02\n", AsItIs},
        TRewrittenCase{"MarkBlanksAndColumnsMoved",
                       "\xEF\xBB\xBFphonesms1;Unit\r\n 79000001001 ; r1 \r\n79000001002;r2\r\n",
                       AsItIs}),
    [](const auto& info) { return std::string(info.param.Name); });

// A batch the release before this one left half done, its rows known then by their bytes: the
// row it wrote stays done, and only the other one is written.
TEST_F(StationRecord, GoesOnWithABatchTheEarlierReleaseBegan) {
  const std::string db = PathOf("station.db");
  const QByteArray templateBytes = QByteArray::fromStdString(ReadFile(Template));
  {
    TStationStore earlier(QString::fromStdString(db), "earlier");
    std::vector<TStoreRow> rows;
    for (int n = 1; n <= 2; ++n) {
      const std::string label = "r" + std::to_string(n),
                        line = "PhoneSMS1=+7900000100" + std::to_string(n);
      rows.push_back({TStationStore::RowIdentity(templateBytes, label, {line}, 0), n, label, line});
    }
    earlier.OpenBatch(TStationStore::BatchIdentity(templateBytes, rows), rows);
    const auto claim = earlier.Claim("COM3", "unit.tty", "3.00");
    ASSERT_TRUE(claim);
    earlier.CompleteAttempt(claim->Attempt, &*claim, {"ok", "", 0, 0, 0});
  }
  std::vector<TStation> stations(1);
  stations[0].Port = "COM3";
  stations[0].Process = Start("COM3", db, WriteFile("units.csv", Table(Labels(2))));
  ASSERT_TRUE(Serve(stations));

  EXPECT_EQ(UnitResults(db), (std::vector<std::string>{"r1:ok", "r2:ok"}));
}
