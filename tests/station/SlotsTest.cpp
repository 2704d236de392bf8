// The station with several slots: a worker per port, every unit at once, each row on one unit,
// a killed worker replaced, a stop that lets every slot finish, and the events as JSON Lines.
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>

#include "tests/support/CliFixture.h"

namespace {

class TSlotsTest : public TSlotsFixture {
 protected:
  // The station on `ports` ports over a table of `rows` rows, each with its own phone.
  std::vector<std::string> Station(int ports, int rows, std::vector<std::string> more = {}) {
    std::string table = "Unit,PhoneSMS1\n";
    for (int n = 1; n <= rows; ++n)
      table += "R" + std::to_string(n) + ",+790000000" + std::to_string(n) + "\n";
    std::vector<std::string> args = {
        "provision", Template,          "--units", WriteFile("units.csv", table),
        "--log",     PathOf("log.csv"), "--db",    PathOf("station.db")};
    for (int slot = 1; slot <= ports; ++slot) args.insert(args.end(), {"--port", SlotPort(slot)});
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // The row whose phone the unit was given; 0: none.
  static int RowOf(const TSimUnit& unit) {
    const std::string prefix = "#WP01 790000000";
    for (const std::string& command : unit.Commands())
      if (command.rfind(prefix, 0) == 0) return std::stoi(command.substr(prefix.size()));
    return 0;
  }

  static bool Handled(const TCliProcess& station, int slot, const TSlotsTest& test, int times) {
    return Occurrences(station.Out(), test.SlotPort(slot) + " блок ") >=
           static_cast<std::size_t>(times);
  }

  // The worker process of `slot`, once the station started it.
  static pid_t Worker(const TCliProcess& station, int slot) {
    for (pid_t child : ChildrenOf(station.Id()))
      if (CommandLineOf(child).find(" --slot " + std::to_string(slot) + " ") != std::string::npos)
        return child;
    return -1;
  }

  static std::size_t Writes(const TSimUnit& unit) {
    const auto commands = unit.Commands();
    return std::count_if(commands.begin(), commands.end(),
                         [](const std::string& c) { return c.rfind("#W", 0) == 0; });
  }
};

}  // namespace

using Slots = TSlotsTest;

TEST_F(Slots, ThreeSlotsWriteSixRowsEachOnExactlyOneUnit) {
  TCliProcess station(Station(3, 6));
  std::vector<std::unique_ptr<TSimUnit>> units;
  // The first units come one after another, each while the one before is being written.
  for (int slot = 1; slot <= 3; ++slot) {
    units.push_back(Plug(slot, {"--delay", "5"}));
    ASSERT_TRUE(WaitUntil([&] { return Writes(*units.back()) >= 1; })) << station.Err();
  }
  for (int slot = 1; slot <= 3; ++slot) {
    ASSERT_TRUE(WaitUntil([&] { return Handled(station, slot, *this, 1); })) << station.Err();
    units[static_cast<std::size_t>(slot - 1)]->Stop();
    ASSERT_TRUE(WaitUntil([&] {
      return Occurrences(station.Err(), SlotPort(slot) + ": блок отключён") == 1;
    })) << station.Err();
    units.push_back(Plug(slot));
  }

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  std::multiset<int> rows;
  for (const auto& unit : units) rows.insert(RowOf(*unit));
  EXPECT_EQ(rows, (std::multiset<int>{1, 2, 3, 4, 5, 6})) << station.Err();
  EXPECT_EQ(Lines(ReadFile(PathOf("log.csv"))).size(), 7u);
  EXPECT_NE(station.Err().find("Итог: записано 6, ошибок 0, осталось строк 0"), std::string::npos)
      << station.Err();
}

TEST_F(Slots, AWorkerKilledMidWriteIsReplacedAndItsRowGoesToAnotherUnit) {
  // One name for the station: its slots are still told apart in the record.
  TCliProcess station(Station(2, 2, {"--station", "line1"}));
  auto slow = Plug(1, {"--delay", "80"});
  ASSERT_TRUE(WaitUntil([&] { return Writes(*slow) >= 3; })) << station.Err();
  auto other = Plug(2);
  ASSERT_TRUE(WaitUntil([&] { return Handled(station, 2, *this, 1); })) << station.Err();
  EXPECT_EQ(RowOf(*other), 2);

  const pid_t worker = Worker(station, 1);
  ASSERT_GT(worker, 0);
  kill(worker, SIGKILL);
  slow->Stop();  // the half-written unit is taken away
  const auto half = slow->Commands();
  EXPECT_EQ(std::find(half.begin(), half.end(), "#S"), half.end());
  ASSERT_TRUE(WaitUntil([&] { return station.Err().find("сигналом 9") != std::string::npos; }));
  other->Stop();
  ASSERT_TRUE(WaitUntil([&] {
    return station.Err().find(SlotPort(2) + ": блок отключён") != std::string::npos;
  })) << station.Err();
  auto next = Plug(2);

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  EXPECT_EQ(RowOf(*next), 1);
  // The record keeps the killed write: row 1's first attempt, on the first slot's port.
  const auto record = RunCli({"report", "--db", PathOf("station.db"), "--format", "json"});
  const auto attempts = Lines(record.Out);
  ASSERT_EQ(attempts.size(), 3u) << record.Out << record.Err;
  const QJsonObject killed =
      QJsonDocument::fromJson(QByteArray::fromStdString(attempts[0])).object();
  EXPECT_EQ(killed["result"].toString(), "interrupted") << attempts[0];
  EXPECT_EQ(killed["row"].toInt(), 1) << attempts[0];
  EXPECT_EQ(killed["port"].toString().toStdString(), SlotPort(1)) << attempts[0];
  EXPECT_EQ(killed["station"].toString().toStdString(), "line1/1:" + SlotPort(1)) << attempts[0];
}

TEST_F(Slots, AStopLetsEverySlotFinishItsUnitThenExits130) {
  TCliProcess station(Station(2, 4));
  std::vector<std::unique_ptr<TSimUnit>> units;
  for (int slot = 1; slot <= 2; ++slot) units.push_back(Plug(slot, {"--delay", "30"}));
  ASSERT_TRUE(WaitUntil([&] { return Writes(*units[0]) >= 3 && Writes(*units[1]) >= 3; }))
      << station.Err();

  station.Signal(SIGINT);

  EXPECT_EQ(station.Wait(), 130) << station.Err();
  for (const auto& unit : units) {
    const auto commands = unit->Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "#S"), commands.end());
  }
  EXPECT_EQ(Lines(ReadFile(PathOf("log.csv"))).size(), 3u);
  EXPECT_NE(station.Err().find("Продолжить: vestra-cli provision"), std::string::npos)
      << station.Err();
}

TEST_F(Slots, JsonLinesCarryEveryEventWithItsFields) {
  TCliProcess station(Station(1, 2, {"--json"}));
  auto unit = Plug(1);
  ASSERT_TRUE(WaitUntil([&] { return station.Out().find("\"finished\"") != std::string::npos; }))
      << station.Err();
  unit->Stop();
  ASSERT_TRUE(WaitUntil([&] { return station.Out().find("\"left\"") != std::string::npos; }));
  station.Signal(SIGTERM);
  EXPECT_EQ(station.Wait(), 143) << station.Err();

  std::map<std::string, QJsonObject> last;  // by event
  for (const std::string& line : Lines(station.Out())) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    ASSERT_TRUE(document.isObject()) << line;
    const QJsonObject object = document.object();
    for (const char* field : {"version", "time", "event", "slot", "port"})
      EXPECT_TRUE(object.contains(field)) << field << " in " << line;
    last[object["event"].toString().toStdString()] = object;
  }
  for (const char* event :
       {"arrived", "claimed", "progress", "written", "verified", "finished", "left"})
    EXPECT_TRUE(last.count(event)) << event;
  const QJsonObject finished = last["finished"];
  EXPECT_EQ(finished["version"].toInt(), 1);
  EXPECT_EQ(finished["slot"].toInt(), 1);
  EXPECT_EQ(finished["port"].toString().toStdString(), SlotPort(1));
  EXPECT_EQ(finished["device"].toString().toStdString(), SlotPort(1));
  EXPECT_EQ(finished["row"].toInt(), 1);
  EXPECT_EQ(finished["label"].toString(), "R1");
  EXPECT_EQ(finished["result"].toString(), "ok");
  for (const char* timing : {"wait_s", "write_s", "verify_s"})
    EXPECT_GE(finished[timing].toDouble(-1), 0) << timing;
  EXPECT_EQ(last["progress"]["steps"].toInt(), 44);
}

TEST_F(Slots, OnATerminalEachSlotHasALineColouredUnlessNoColor) {
  for (const bool noColor : {false, true}) {
    std::remove(PathOf("station.db").c_str());  // each run starts the table afresh
    if (noColor) qputenv("NO_COLOR", "1");
    TCliProcess station(Station(2, 2), true);
    qunsetenv("NO_COLOR");
    auto unit = Plug(1);
    // The slot's line and the count below it may reach the terminal in separate reads.
    ASSERT_TRUE(WaitUntil([&] {
      const std::string err = station.Err();
      return err.find("готово — отключите блок") != std::string::npos &&
             err.find("готово 1, осталось 1, ошибок 0") != std::string::npos;
    })) << station.Err();
    const std::string picture = station.Err();
    EXPECT_NE(picture.find("ждёт блок"), std::string::npos) << picture;  // the other slot
    EXPECT_EQ(picture.find("\x1b[32m") != std::string::npos, !noColor) << picture;
  }
}

TEST_F(Slots, VerifiedUnitsStillPluggedAreNeverWrittenAgain) {
  const auto args = Station(2, 4);
  std::vector<std::unique_ptr<TSimUnit>> units;
  {
    TCliProcess station(args);
    for (int slot = 1; slot <= 2; ++slot) units.push_back(Plug(slot));
    ASSERT_TRUE(WaitUntil([&] {
      return Handled(station, 1, *this, 1) && Handled(station, 2, *this, 1);
    })) << station.Err();
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 130) << station.Err();
  }
  const std::vector<std::size_t> writes = {Writes(*units[0]), Writes(*units[1])};

  // Started again with both units still in their fixtures, and then a worker replaced while its
  // unit waits to be unplugged.
  TCliProcess again(args);
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(again.Out(), "блок уже записан: строка") == 2; }))
      << again.Out() << again.Err();
  kill(Worker(again, 1), SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(again.Out(), "блок уже записан: строка") == 3; }))
      << again.Out() << again.Err();

  EXPECT_EQ(Writes(*units[0]), writes[0]);
  EXPECT_EQ(Writes(*units[1]), writes[1]);
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(), 143) << again.Err();
}

namespace {

struct TCutCase {
  const char* Name;
  bool KillStation;  // else its standard output is closed
};
void PrintTo(const TCutCase& c, std::ostream* out) { *out << c.Name; }

class CutStation : public TSlotsTest, public ::testing::WithParamInterface<TCutCase> {};

}  // namespace

TEST_P(CutStation, NeverCutsAWorkersUnit) {
  TCliProcess station(Station(1, 2, {"--json"}), TCliStart{false, 0, true});
  auto unit = Plug(1, {"--delay", "30"});
  ASSERT_TRUE(WaitUntil([&] { return Writes(*unit) >= 3; })) << station.Err();

  if (GetParam().KillStation)
    station.Signal(SIGKILL);
  else
    station.CloseOut();

  // The worker writes, stores, verifies and records its unit, then ends.
  ASSERT_TRUE(WaitUntil([&] { return Lines(ReadFile(PathOf("log.csv"))).size() == 2; }))
      << station.Err();
  EXPECT_NE(Lines(ReadFile(PathOf("log.csv")))[1].find(R"("1","R1","ok")"), std::string::npos);
  EXPECT_EQ(RowOf(*unit), 1);
  const auto commands = unit->Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "#S"), commands.end());
  if (!GetParam().KillStation) {
    EXPECT_EQ(station.Wait(), 1) << station.Err();
    EXPECT_NE(station.Err().find("Стандартный вывод закрыт"), std::string::npos) << station.Err();
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, CutStation,
                         ::testing::Values(TCutCase{"OutputClosed", false},
                                           TCutCase{"StationKilled", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

// The lines of the status picture in what a terminal received (each ends in "erase to the end
// of the line"), without their escape sequences, as their widths in characters.
std::vector<std::size_t> PictureWidths(const std::string& text) {
  static const QRegularExpression escape("\x1b\\[[0-9;]*[A-Za-z]");
  std::vector<std::size_t> widths;
  for (const std::string& line : Lines(text)) {
    if (line.size() < 3 || line.compare(line.size() - 3, 3, "\x1b[K") != 0) continue;
    widths.push_back(
        static_cast<std::size_t>(QString::fromStdString(line).remove(escape).remove('\r').size()));
  }
  return widths;
}

}  // namespace

TEST_F(Slots, ThePictureFitsTheTerminalFollowsAResizeAndTheSummaryComesOnce) {
  TCliProcess station(Station(2, 2), TCliStart{true, 60});
  auto unit = Plug(1);
  ASSERT_TRUE(WaitUntil([&] {
    return station.Err().find("готово — отключите блок") != std::string::npos;
  })) << station.Err();

  station.Resize(40);
  // What was drawn before the resize has come through by then.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::size_t resized = station.Err().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a tick redraws it
  station.Signal(SIGTERM);

  EXPECT_EQ(station.Wait(), 143) << station.Err();
  const std::string text = station.Err();
  for (std::size_t width : PictureWidths(text.substr(0, resized))) EXPECT_LT(width, 60u);
  const std::size_t summary = text.find("Итог:");
  ASSERT_NE(summary, std::string::npos) << text;
  const auto after = PictureWidths(text.substr(resized, summary - resized));
  ASSERT_FALSE(after.empty());
  for (std::size_t width : after) EXPECT_LT(width, 40u);
  EXPECT_EQ(PictureWidths(text.substr(summary)), std::vector<std::size_t>{}) << text;
  EXPECT_EQ(Occurrences(text, "Итог:"), 1u);
}
