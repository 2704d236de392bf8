// The batch station: units one after another from a template and a table, everything judged
// before anything is sent, a record that survives a stop and lets the next run go on.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <ostream>
#include <thread>

#include "tests/support/CliFixture.h"
#include "tests/support/HeldPort.h"
#include "tests/support/PortTaker.h"

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
  // Spreadsheets export trailing rows with nothing in them.
  std::string table = UnitsTable(3) + ",,,\r\n , ,,\r\n";
  if (c.Semicolon) table = Semicolons(table);
  if (c.Windows1251) table = Cp1251(table);
  if (c.Bom) table = "\xEF\xBB\xBF" + table;
  const std::string units = WriteFile("units.csv", table);
  const std::string log = PathOf("log.csv");

  TCliProcess station({"provision", templ, "--units", units, "--port", "COM3", "--log", log,
                       "--count", "3", "--db", PathOf("station.db")});
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
  EXPECT_EQ(Occurrences(station.Err(), "пропущены пустые строки: 4, 5"), 1u) << station.Err();
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

namespace {

struct TRefusalCase {
  const char* Name;
  std::string Table;  // bytes
  int Exit;
  std::vector<std::string> Said;  // each a part of standard error
};

void PrintTo(const TRefusalCase& c, std::ostream* out) { *out << c.Name; }

class RefusedTables : public TProvisionTest, public ::testing::WithParamInterface<TRefusalCase> {};

}  // namespace

TEST_P(RefusedTables, SayEveryFaultAndSendNothing) {
  const auto& c = GetParam();
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  StartUnit();

  const auto run = RunCli({"provision", templ, "--units", WriteFile("units.csv", c.Table), "--port",
                           "COM3", "--log", PathOf("log.csv")});

  EXPECT_EQ(run.Exit, c.Exit) << run.Err;
  for (const auto& said : c.Said) EXPECT_NE(run.Err.find(said), std::string::npos) << run.Err;
  EXPECT_EQ(Unit->Commands(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RefusedTables,
    ::testing::Values(
        // Every refused cell of the table, in one run.
        TRefusalCase{"Cells",
                     "Unit;TimeZone;Period;RingLevel;SMSPwd;GPRSUser;LowBatMsg;AddrServer1\n"
                     "A;+3ч;5 мин;99;123456789;日本;2;192.0.2.x\n"
                     "B;-3;4;11;\"1234\r#WL00\";вход;1;192.0.2.10\n",
                     3,
                     {"строка 1 (A), TimeZone: «+3ч» — не целое число",
                      "строка 1 (A), Period: «5 мин» — не целое число",
                      "строка 1 (A), RingLevel: «99» — вне диапазона от 0 до 15",
                      "строка 1 (A), SMSPwd: «123456789» — длиннее 8 символов",
                      "строка 1 (A), GPRSUser: «日本» — символ «日» не из Windows-1251",
                      "строка 1 (A), LowBatMsg: «2» — допустимо 0 или 1",
                      "строка 1 (A), AddrServer1: «192.0.2.x» — не адрес вида 192.0.2.10",
                      "строка 2 (B), SMSPwd: «1234\\r#WL00» — управляющий символ (код 13)"}},
        TRefusalCase{"ListItemAndCorrCoef",
                     "Period,CorrCoef\n9,95\n",
                     3,
                     {"строка 1, Period: «9» — в списке нет пункта 9 (есть от 0 до 7)",
                      "строка 1, CorrCoef: «95» — не записывается без --manual-corr-coef"}},
        TRefusalCase{"FormChecks",
                     "Unit;EnSMS2;phonesms2\nA;1;123\nB;1;12a\n",
                     3,
                     {"строка 2 (B), PhoneSMS2: «12a» — допустимы только цифры",
                      "Ошибка: строка 2 (B): Недопустимый символ в телефоне 2"}},
        TRefusalCase{"Header",
                     "Unit,,PhoneSMS1,Colour,phonesms1,unit\nA,1,2,3,4,5\n",
                     2,
                     {"столбец 2: нет имени", "столбец 4: неизвестный ключ «Colour»",
                      "столбец 5: ключ PhoneSMS1 уже в столбце 3",
                      "столбец 6: второй столбец Unit (первый — 1)"}},
        // UTF-8 with one stray Windows-1251 byte, never read as mojibake.
        TRefusalCase{"MixedEncoding",
                     "Unit,GPRSUser\nA,вход\nB,\xA0\n",
                     2,
                     {"смешанная кодировка, строка 3"}},
        TRefusalCase{"MarkBeforeWindows1251",
                     "\xEF\xBB\xBFUnit,GPRSUser\nA,\xE2\xF5\xEE\xE4\n",
                     2,
                     {"метка UTF-8, но текст не в UTF-8, строка 2"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Provision, StopsWhileWaitingWithACompleteRecord) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  TCliProcess station({"provision", templ, "--units", WriteFile("units.csv", UnitsTable(2)),
                       "--port", "COM3", "--log", log});
  // Handled, the unit stays plugged in: the station waits for it to go.
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();

  station.Signal(SIGTERM);

  EXPECT_EQ(station.Wait(), 143) << station.Err();
  EXPECT_NE(station.Err().find("Остановлено: SIGTERM"), std::string::npos) << station.Err();
  const auto logged = LoggedUnits(log);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find(R"("1","Блок №1","ok")"), std::string::npos) << logged[0];
}

TEST_F(Provision, StopsAfterTheCurrentUnitAndGoesOnWhereItStopped) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string units = WriteFile("units.csv", UnitsTable(3));
  const std::string log = PathOf("log.csv");
  const std::vector<std::string> args = {
      "provision", templ,   "--units", units,  "--port",
      "COM3",      "--log", log,       "--db", PathOf("station.db")};
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

  EXPECT_EQ(station.Wait(), 130) << station.Err();
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

TEST_F(Provision, AHeldUnitIsLockedAgainstOtherWritersButNotLeftForAGlance) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv"), units = WriteFile("units.csv", UnitsTable(2));
  TCliProcess station(
      {"provision", templ, "--units", units, "--port", "COM3", "--log", log, "--station", "line1"});
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();
  const std::size_t sent = Unit->Commands().size();
  const std::string said =
      "COM3 (" + UnitDevice() + "): порт занят станцией line1, PID " + std::to_string(station.Id());

  // A second station started on the same port, and the window's own command.
  TCliProcess second(
      {"provision", templ, "--units", units, "--port", "COM3", "--station", "line2"});
  EXPECT_TRUE(WaitUntil([&] { return second.Err().find(said) != std::string::npos; }))
      << second.Err();
  const auto version = RunCli({"version", "--port", "COM3"});
  EXPECT_EQ(version.Exit, 1);
  EXPECT_NE(version.Err.find(said), std::string::npos) << version.Err;
  // A program that opens the device without asking for it is no unplug either.
  close(open(UnitDevice().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  EXPECT_EQ(Unit->Commands().size(), sent);
  EXPECT_EQ(station.Err().find("блок отключён"), std::string::npos) << station.Err();
  Unit->Stop();
  EXPECT_TRUE(WaitUntil([&] { return station.Err().find("блок отключён") != std::string::npos; }));
}

TEST_F(Provision, NoOtherProgramGetsAUnitFromItsFirstQuestionToItsUnplugging) {
  constexpr std::size_t kUnits = 5;
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  const std::string mark = TPortTaker::Mark;
  TPortTaker other(UnitDevice());
  // It does get a port that nobody holds.
  ASSERT_TRUE(WaitUntil([&] {
    const auto commands = Unit->Commands();
    return std::find(commands.begin(), commands.end(), mark) != commands.end();
  }));
  // The window's read of the first unit came before: the station's questions come after this.
  std::size_t before = Unit->Commands().size();
  // One row more than units: the last unit stays held until the station is stopped.
  TCliProcess station({"provision", templ, "--units",
                       WriteFile("units.csv", UnitsTable(kUnits + 1)), "--port", "COM3", "--log",
                       log, "--settle", "0"});
  for (std::size_t n = 1; n <= kUnits; ++n) {
    if (n > 1) {
      StartUnit();  // the one before is unplugged
      before = 0;
    }
    ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == n; })) << station.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // held, awaiting its unplug
    const auto commands = Unit->Commands();
    const auto asked =
        std::find(commands.begin() + static_cast<long>(before), commands.end(), "#V");
    EXPECT_EQ(std::find(asked, commands.end(), mark), commands.end())
        << "unit " << n << ", after " << asked - commands.begin() << " of " << commands.size();
    const std::string row = std::to_string(n);
    EXPECT_NE(LoggedUnits(log).back().find("\"" + row + "\",\"Блок №" + row + "\",\"ok\""),
              std::string::npos)
        << LoggedUnits(log).back();
  }
  station.Signal(SIGINT);
  EXPECT_EQ(station.Wait(), 130) << station.Err();
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

TEST_F(Provision, AUnitHandlingOneCommandAtATimeIsWrittenAndVerified) {
  StartUnit({"--one-at-a-time", "--delay", "20"});
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  TCliProcess station({"provision", templ, "--units", WriteFile("units.csv", UnitsTable(1)),
                       "--port", "COM3", "--log", log, "--count", "1"});
  EXPECT_EQ(station.Wait(), 0) << station.Err();
  ExpectWritten(1);
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

// Without --db the record lives in the user's state folder whatever folder the station starts
// in, the station says which database it uses, and report finds the same one.
TEST_F(Provision, TheDefaultRecordIsInTheUsersStateFolderAndNamed) {
  const std::string state = PathOf("state");
  qputenv("XDG_STATE_HOME", state.c_str());
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const auto run = RunCli({"provision", templ, "--port", "COM3", "--count", "1"});
  const auto report = RunCli({"report"});
  qunsetenv("XDG_STATE_HOME");

  EXPECT_EQ(run.Exit, 0) << run.Err;
  EXPECT_EQ(Occurrences(run.Err, "База станции: " + state + "/vestra/station.db\n"), 1u) << run.Err;
  EXPECT_EQ(report.Exit, 0) << report.Err;
  EXPECT_EQ(Lines(report.Out).size(), 2u) << "the header and the one attempt: " << report.Out;
}

TEST_F(Provision, ABusyPortIsNamedWithItsHolderAndTakenOnceLetGo) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  auto other = std::make_unique<THeldPort>(UnitDevice());
  TCliProcess station(
      {"provision", templ, "--port", "COM3", "--log", PathOf("log.csv"), "--count", "1"});
  const std::string said = "COM3 (" + UnitDevice() + "): порт занят программой " +
                           QCoreApplication::applicationName().toStdString() + " (PID " +
                           std::to_string(other->Pid()) + ")";
  ASSERT_TRUE(WaitUntil([&] { return station.Err().find(said) != std::string::npos; }))
      << station.Err();

  other.reset();

  EXPECT_EQ(station.Wait(), 0) << station.Err();
  EXPECT_EQ(Occurrences(station.Err(), said), 1u) << station.Err();
}

TEST_F(Provision, AVerifiedUnitStillPluggedAtARestartIsNeverWrittenAgain) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  const std::string log = PathOf("log.csv");
  const std::vector<std::string> args = {"provision", templ,
                                         "--units",   WriteFile("units.csv", UnitsTable(2)),
                                         "--port",    "COM3",
                                         "--log",     log,
                                         "--db",      PathOf("station.db")};
  {
    TCliProcess station(args);
    ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 1; })) << station.Err();
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 130) << station.Err();
  }
  const std::size_t before = Unit->Commands().size();

  TCliProcess again(args);

  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 2; })) << again.Err();
  const auto commands = Unit->Commands();
  EXPECT_EQ(std::count_if(commands.begin() + static_cast<long>(before), commands.end(),
                          [](const std::string& c) { return c.rfind("#W", 0) == 0; }),
            0);
  // The line is printed once the record has it: waited for, not read at the record's sign.
  EXPECT_TRUE(WaitUntil([&] {
    return again.Out().find("блок уже записан: строка 1 (Блок №1) — отключите") !=
           std::string::npos;
  })) << again.Out();
  EXPECT_NE(LoggedUnits(log)[1].find(R"("1","Блок №1","already")"), std::string::npos)
      << LoggedUnits(log)[1];
  // Once it is gone, the next unit gets the next row.
  Unit->Stop();
  ASSERT_TRUE(WaitUntil([&] { return again.Err().find("блок отключён") != std::string::npos; }));
  StartUnit();
  ASSERT_TRUE(WaitUntil([&] { return LoggedUnits(log).size() == 3; })) << again.Err();
  ExpectWritten(2);
  EXPECT_EQ(again.Wait(), 0) << again.Err();
}

namespace {

struct TFirmwareCase {
  const char* Name;
  std::string Firmware, Column, Value;
  std::string Logged;  // result and detail, as the log has them
};
void PrintTo(const TFirmwareCase& c, std::ostream* out) { *out << c.Name; }

class FirmwareGaps : public TProvisionTest, public ::testing::WithParamInterface<TFirmwareCase> {};

}  // namespace

TEST_P(FirmwareGaps, AreJudgedBeforeTheFirstWrite) {
  const auto& c = GetParam();
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  StartUnit({"--firmware", c.Firmware});
  const std::string log = PathOf("log.csv");
  const std::string table = "Unit,PhoneSMS1," + c.Column + "\nA,+79000000001," + c.Value + "\n";

  const auto run = RunCli({"provision", templ, "--units", WriteFile("units.csv", table), "--port",
                           "COM3", "--log", log, "--count", "1"});

  const bool ok = c.Logged.rfind("\"ok\"", 0) == 0;
  EXPECT_EQ(run.Exit, ok ? 0 : 1) << run.Err;
  const auto logged = LoggedUnits(log);
  ASSERT_EQ(logged.size(), 1u) << run.Err;
  EXPECT_NE(logged[0].find(c.Logged), std::string::npos) << logged[0];
  const auto commands = Unit->Commands();
  EXPECT_EQ(
      std::count_if(commands.begin(), commands.end(),
                    [](const std::string& command) { return command.rfind("#W", 0) == 0; }) > 0,
      ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FirmwareGaps,
    ::testing::Values(
        TFirmwareCase{"RingLevelOn207", "2.07", "RingLevel", "5",
                      R"x("error","прошивка 2.07: нет RingLevel (R03)")x"},
        TFirmwareCase{"InternalSimOn199", "1.99", "GPRSUserInt", "x",
                      R"x("error","прошивка 1.99: нет GPRSUserInt (G11)")x"},
        // The template's values the unit lacks are left out, as the window leaves them.
        TFirmwareCase{
            "TemplateOn207", "2.07", "SMSPwd", "1234",
            R"x("ok","шаблон: прошивка 2.07 без SleepMode (M19), SleepTime (M20), )x"
            R"x(LowBatMsg (M21), RingMode (R01), RingDuration (R02), RingLevel (R03)")x"}),
    [](const auto& info) { return std::string(info.param.Name); });

namespace {

enum class TNode { DevNull, RegularFile, Folder };
struct TNodeCase {
  const char* Name;
  TNode Node;
};
void PrintTo(const TNodeCase& c, std::ostream* out) { *out << c.Name; }

class NotSerialPorts : public TProvisionTest, public ::testing::WithParamInterface<TNodeCase> {};

}  // namespace

TEST_P(NotSerialPorts, AreSaidAtOnceAndNotWaitedOn) {
  StartUnit();
  const std::string templ = SaveUnit("template.ini");
  Unit.reset();
  std::string path = "/dev/null";
  if (GetParam().Node == TNode::RegularFile) path = WriteFile("plain", "#V 3.00\r");
  if (GetParam().Node == TNode::Folder) QDir().mkpath(QString::fromStdString(path = PathOf("dir")));
  MapPort("COM3", path);

  const auto run = RunCli({"provision", templ, "--port", "COM3", "--log", PathOf("log.csv")});

  EXPECT_EQ(run.Exit, 1) << run.Err;
  EXPECT_NE(run.Err.find("COM3 (" + path + "): не последовательный порт"), std::string::npos)
      << run.Err;
}

INSTANTIATE_TEST_SUITE_P(Cli, NotSerialPorts,
                         ::testing::Values(TNodeCase{"DevNull", TNode::DevNull},
                                           TNodeCase{"RegularFile", TNode::RegularFile},
                                           TNodeCase{"Folder", TNode::Folder}),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

// A control character where a person would not see it: each is refused with its place named.
struct TControlCase {
  const char* Name;
  std::string Table;         // UTF-8
  std::string TemplateLine;  // Windows-1251, put first in the template; empty: none
  std::vector<std::string> More;
  std::string Said;
};
void PrintTo(const TControlCase& c, std::ostream* out) { *out << c.Name; }

class ControlCharacters : public TProvisionTest,
                          public ::testing::WithParamInterface<TControlCase> {};

}  // namespace

TEST_P(ControlCharacters, AreRefusedWithTheirPlaceNamed) {
  const auto& c = GetParam();
  StartUnit();
  std::string templ = SaveUnit("template.ini");
  if (!c.TemplateLine.empty())
    templ = WriteFile("control.ini", c.TemplateLine + "\r\n" + ReadFile(templ));
  StartUnit();

  auto args =
      std::vector<std::string>{"provision", templ,  "--units", WriteFile("units.csv", c.Table),
                               "--port",    "COM3", "--log",   PathOf("log.csv")};
  args.insert(args.end(), c.More.begin(), c.More.end());
  const auto run = RunCli(args);

  EXPECT_EQ(run.Exit, 3) << run.Err;
  EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("\x7f"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("\x1b"), std::string::npos) << run.Err;
  EXPECT_EQ(Unit->Commands(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ControlCharacters,
    ::testing::Values(
        TControlCase{"DelInACell",
                     "Unit,SMSPwd\nA,12\x7f"
                     "4\n",
                     "",
                     {},
                     "строка 1 (A), SMSPwd: «12\\x7F4» — управляющий символ (код 127)"},
        TControlCase{"C1InALabel",
                     "Unit,SMSPwd\nA\xc2\x9b"
                     "31m,1234\n",
                     "",
                     {},
                     "строка 1 (A\\u009B31m), Unit: «A\\u009B31m» — управляющий символ (код 155)"},
        TControlCase{"NulInATemplateValue",
                     "Unit,SMSPwd\nA,1234\n",
                     std::string("GPRSSite=1\0", 11) + Cp1251("2смс1"),
                     {},
                     "шаблон, строка 1, GPRSSite: «1\\x002смс1» — управляющий символ (код 0)"},
        TControlCase{"EscInTheStationsName",
                     "Unit,SMSPwd\nA,1234\n",
                     "",
                     {"--station", "a\x1b[2J"},
                     "--station: «a\\x1B[2J» — управляющий символ (код 27)"}),
    [](const auto& info) { return std::string(info.param.Name); });
