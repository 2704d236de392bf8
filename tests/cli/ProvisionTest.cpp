// The batch station: units one after another from a template and a table, everything judged
// before anything is sent, a log that survives a stop and lets the next run go on.
#include <signal.h>

#include <algorithm>
#include <thread>

#include "tests/cli/CliFixture.h"
#include "tests/support/HeldPort.h"

namespace {

// The table's text (UTF-8, ","), with the Cyrillic label and login, a quoted field holding both
// separators, a phone as people write it and a dotted server address.
std::string UnitsTable(int rows) {
  std::string text = "Unit,PhoneSMS1,AddrServer1,GPRSUser\r\n";
  for (int i = 1; i <= rows; ++i) {
    const std::string n = std::to_string(i);
    text += "Блок №" + n + ",+7 900 000-00-0" + n + ",192.0.2.1" + n + ",\"вход;," + n + "\"\r\n";
  }
  return text;
}

std::string Semicolons(std::string text) {
  // Outside the quotes every "," of this table separates fields.
  bool quoted = false;
  for (char& c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) c = ';';
  }
  return text;
}

struct TTableCase {
  const char* Name;
  bool Windows1251;
  bool Semicolon;
  bool Bom;
};

class TProvisionTest : public TCliTest {
 protected:
  // The log's lines for units (the header left out).
  std::vector<std::string> LoggedUnits(const std::string& log) {
    auto lines = Lines(ReadFile(log));
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }

  // Unit `n` of the table reached the unit now running.
  void ExpectWritten(int n) {
    const auto commands = CommandsUpTo("#S");
    const std::string i = std::to_string(n);
    for (const std::string& command : {"#WP01 7900000000" + i, "#WS01 192,0,2,1" + i,
                                       Cp1251("#WG01 вход;," + i), std::string("#S")})
      EXPECT_NE(std::find(commands.begin(), commands.end(), command), commands.end()) << command;
  }
};

class ProvisionTables : public TProvisionTest, public ::testing::WithParamInterface<TTableCase> {};

}  // namespace

using Provision = TProvisionTest;

TEST_P(ProvisionTables, WritesThreeUnitsOneAfterAnother) {
  const auto& c = GetParam();
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  std::string table = UnitsTable(3);
  if (c.Semicolon) table = Semicolons(table);
  if (c.Windows1251) table = Cp1251(table);
  if (c.Bom) table = "\xEF\xBB\xBF" + table;
  const std::string units = WriteFile("units.csv", table);
  const std::string log = PathOf("log.csv");

  TCliProcess station(
      {"provision", templ, "--units", units, "--port", "COM3", "--log", log, "--count", "3"});
  for (int n = 1; n <= 3; ++n) {
    // The station takes a unit only once the one before has gone.
    if (n > 1) {
      Unit->Stop();
      ASSERT_TRUE(WaitUntil([&] {
        return Occurrences(station.Err(), "COM3: блок отключён") == static_cast<std::size_t>(n - 1);
      })) << station.Err();
      StartUnit();
    }
    ASSERT_TRUE(WaitUntil([&] {
      return Lines(ReadFile(log)).size() == static_cast<std::size_t>(n + 1);
    })) << station.Err();
    ExpectWritten(n);
  }

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  const auto said = Lines(station.Out());
  ASSERT_EQ(said.size(), 3u) << station.Out();
  EXPECT_EQ(said[2].rfind("COM3 блок Блок №3 (3.00): записано", 0), 0u) << said[2];
  const auto logged = LoggedUnits(log);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_NE(logged[2].find(R"("COM3",")" + UnitDevice() + R"(","3.00","3","Блок №3","ok")"),
            std::string::npos)
      << logged[2];
}

INSTANTIATE_TEST_SUITE_P(Cli, ProvisionTables,
                         ::testing::Values(TTableCase{"Windows1251Semicolons", true, true, false},
                                           // Without a mark, as the other tables here.
                                           TTableCase{"Utf8WithMarkCommas", false, false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Provision, RefusesAnUnknownColumnOrAFailingRowBeforeSendingAnything) {
  struct TCase {
    std::string Table;
    int Exit;
    std::string Said;
  };
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  Unit.reset();
  StartUnit();
  const TCase cases[] = {
      {"Unit,PhoneSMS1,Colour\nA,1,red\n", 2, "неизвестные или повторные столбцы: Colour"},
      {"Unit;EnSMS2;phonesms2\nA;1;123\nB;1;12a\nC;1;\n", 3,
       "Ошибка: строка 2 (B): Недопустимый символ в телефоне 2"},
  };
  for (const auto& c : cases) {
    const auto run = RunCli({"provision", templ, "--units", WriteFile("units.csv", c.Table),
                             "--port", "COM3", "--log", PathOf("log.csv")});
    EXPECT_EQ(run.Exit, c.Exit) << run.Err;
    EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
  }
  EXPECT_EQ(Unit->Commands(), std::vector<std::string>{});
}

TEST_F(Provision, StopsAfterTheCurrentUnitAndGoesOnWhereItStopped) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string units = WriteFile("units.csv", UnitsTable(3));
  const std::string log = PathOf("log.csv");
  const std::vector<std::string> args = {"provision", templ,  "--units", units,
                                         "--port",    "COM3", "--log",   log};
  TCliProcess station(args);
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();
  Unit->Stop();
  ASSERT_TRUE(WaitUntil([&] { return station.Err().find("блок отключён") != std::string::npos; }));
  // A slow unit, so that the signal comes in the middle of its write.
  StartUnit({"--delay", "40"});
  ASSERT_TRUE(WaitUntil([&] {
    auto commands = Unit->Commands();
    return std::count_if(commands.begin(), commands.end(),
                         [](const std::string& c) { return c.rfind("#W", 0) == 0; }) >= 3;
  }));

  station.Signal(SIGINT);

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  ExpectWritten(2);
  auto logged = LoggedUnits(log);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_NE(logged[1].find(R"("2","Блок №2","ok")"), std::string::npos) << logged[1];

  // Started again with the same log, the next row goes to the next unit.
  StartUnit();
  auto again = args;
  again.insert(again.end(), {"--count", "1"});
  const auto run = RunCli(again);
  EXPECT_EQ(run.Exit, 0) << run.Err;
  ExpectWritten(3);
  logged = LoggedUnits(log);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_NE(logged[2].find(R"("3","Блок №3","ok")"), std::string::npos) << logged[2];
}

TEST_F(Provision, AnotherProgramHoldingTheUnitsPortIsNotTheUnitLeaving) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  TCliProcess station({"provision", templ, "--units", WriteFile("units.csv", UnitsTable(2)),
                       "--port", "COM3", "--log", log});
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();

  {
    // As the window does while it reads the unit.
    THeldPort other(UnitDevice());
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  EXPECT_EQ(station.Err().find("блок отключён"), std::string::npos) << station.Err();
  EXPECT_EQ(LoggedUnits(log).size(), 1u);
  Unit->Stop();
  EXPECT_TRUE(WaitUntil([&] { return station.Err().find("блок отключён") != std::string::npos; }));
}

TEST_F(Provision, AUnitPluggedInAtOnceAfterTheLastOneLeftIsWritten) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  TCliProcess station({"provision", templ, "--units", WriteFile("units.csv", UnitsTable(2)),
                       "--port", "COM3", "--log", log, "--count", "2"});
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();

  StartUnit();  // the one before goes first: its link is gone and back within a moment

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  ExpectWritten(2);
  EXPECT_EQ(Occurrences(station.Err(), "COM3: блок отключён"), 1u) << station.Err();
}

TEST_F(Provision, AutoLeavesASilentDeviceAloneAndWritesAUnitAppearingElsewhere) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  Unit.reset();
  // Only the test's own devices: none of the machine's serial ports is touched.
  for (int n = 1; n <= 24; ++n)
    MapPort("COM" + std::to_string(n), PathOf("none" + std::to_string(n) + ".tty"));
  TSimUnit silent({"--silent", "--link", PathOf("silent.tty")});
  MapPort("COM5", PathOf("silent.tty"));
  MapPort("COM3", UnitDevice());
  const std::string log = PathOf("log.csv");
  TCliProcess station({"provision", templ, "--units", WriteFile("units.csv", UnitsTable(1)),
                       "--port", "auto", "--log", log});
  ASSERT_TRUE(WaitUntil([&] { return !silent.Commands().empty(); })) << station.Err();

  StartUnit();

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  ExpectWritten(1);
  EXPECT_NE(LoggedUnits(log).at(0).find(R"("COM3",)"), std::string::npos);
  EXPECT_EQ(silent.Commands(), std::vector<std::string>{"#V"});
}

TEST_F(Provision, ABusyPortIsNamedWithItsHolderAndTakenOnceLetGo) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  auto other = std::make_unique<THeldPort>(UnitDevice());
  TCliProcess station(
      {"provision", templ, "--port", "COM3", "--log", PathOf("log.csv"), "--count", "1"});
  const std::string said = "COM3 (" + UnitDevice() + "): порт занят программой test_cli (PID " +
                           std::to_string(other->Pid()) + ")";
  ASSERT_TRUE(WaitUntil([&] { return station.Err().find(said) != std::string::npos; }))
      << station.Err();

  other.reset();

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  EXPECT_EQ(Occurrences(station.Err(), said), 1u) << station.Err();
}
