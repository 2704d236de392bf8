// The subcommands that run one operation of the window: the same bytes, the same checks, and
// their exit codes.
#include <signal.h>

#include <QSettings>
#include <algorithm>
#include <ostream>

#include "tests/support/CliFixture.h"

namespace {

struct TExitCase {
  const char* Name;
  std::vector<std::string> Args;  // "FILE" stands for a parameter file that fails a check
  int Exit;
  const char* Said;  // a part of standard error
};

// A failing case names itself in the test's output instead of dumping its bytes.
void PrintTo(const TExitCase& c, std::ostream* out) { *out << c.Name; }

class ExitCodes : public TCliTest, public ::testing::WithParamInterface<TExitCase> {};

}  // namespace

using Commands = TCliTest;

TEST_F(Commands, ReadGivesTheBytesTheWindowSavesForTheSameUnit) {
  StartUnit({"--set", "G01=логин", "--set", "M02=3"});
  const std::string saved = SaveUnit("window.ini");

  const auto run = RunCli({"read", "--port", "COM3", "-o", PathOf("cli.ini")});

  EXPECT_EQ(run.Exit, 0) << run.Err;
  EXPECT_EQ(ReadFile(PathOf("cli.ini")), ReadFile(saved));
  // Standard output carries the same file when no -o is given.
  EXPECT_EQ(RunCli({"read", "--port", "COM3"}).Out, ReadFile(saved));
}

TEST_F(Commands, ReadReportsEveryFailedCheckAndStillWritesTheFile) {
  StartUnit({"--set", "M02=9", "--set", "P02=12a", "--set", "E01=1,1,2"});

  const auto run = RunCli({"read", "--port", "COM3"});

  EXPECT_EQ(run.Exit, 3);
  EXPECT_EQ(Lines(run.Out).size(), 46u);
  EXPECT_NE(run.Err.find("Не выбран период оповещения"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("Недопустимый символ в телефоне 2"), std::string::npos) << run.Err;
}

TEST_P(ExitCodes, SayWhatHappened) {
  const auto& c = GetParam();
  StartUnit();
  std::vector<std::string> args = c.Args;
  for (auto& arg : args)
    if (arg == "FILE") arg = WriteFile("bad.ini", "Period=9\r\n");

  const auto run = RunCli(args);

  EXPECT_EQ(run.Exit, c.Exit) << run.Err;
  EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
  if (c.Exit != 0) {
    EXPECT_EQ(Unit->Commands(), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExitCodes,
    ::testing::Values(
        TExitCase{"Done", {"version", "--port", "COM3"}, 0, ""},
        TExitCase{"Failed",
                  {"version", "--port", "/dev/no-such-tty"},
                  1,
                  "Ошибка: /dev/no-such-tty: нет такого устройства"},
        TExitCase{"UnknownOption", {"version", "--colour"}, 2, "colour"},
        TExitCase{"UnknownCommand", {"flash"}, 2, "неизвестная команда flash"},
        // Input files that cannot be read are usage, not a failed operation.
        TExitCase{"MissingFile", {"write", "/no/such.ini", "--port", "COM3"}, 2, "/no/such.ini"},
        TExitCase{
            "MissingTemplate", {"provision", "/no/such.ini", "--port", "COM3"}, 2, "/no/such.ini"},
        TExitCase{"EmptyOutput", {"read", "--port", "COM3", "-o", ""}, 2, "--output: пустое имя"},
        TExitCase{"EmptyFile", {"write", "", "--port", "COM3"}, 2, "FILE: пустое имя файла"},
        TExitCase{"ChecksFailed",
                  {"write", "FILE", "--port", "COM3"},
                  3,
                  "Ошибка: Не выбран период оповещения"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Commands, VersionAndFindPrintTheUnitsVersionAndPortAndStoreNothing) {
  StartUnit({"--firmware", "2.08"});
  EXPECT_EQ(RunCli({"version", "--port", "COM3"}).Out, "2.08\n");
  // Every other name leads nowhere on this machine, or to a device without a unit.
  ClearSettingsStore();
  for (int n = 1; n <= 24; ++n)
    MapPort("COM" + std::to_string(n), n == 5 ? Unit->PtyPath() : "/dev/no-such-tty");

  const auto found = RunCli({"find"});

  EXPECT_EQ(found.Exit, 0) << found.Err;
  EXPECT_EQ(found.Out, "COM5 " + Unit->PtyPath() + " 2.08\n");
  // The window would keep the port found; a script leaves the window's settings alone.
  QSettings store("Mirotan", "TindraSetup");
  EXPECT_FALSE(store.contains("CBPort.ItemIndex"));
}

namespace {

// The parameter file with one key's value replaced.
std::string WithValue(std::string file, const std::string& key, const std::string& value) {
  const auto at = file.find("\n" + key + "=") + 1;  // never the first line here
  const auto end = file.find("\r\n", at);
  return file.replace(at, end - at, key + "=" + value);
}

}  // namespace

namespace {

// How a unit comes back after storing its settings.
struct TRestartCase {
  const char* Name;
  std::vector<std::string> Args;
};
void PrintTo(const TRestartCase& c, std::ostream* out) { *out << c.Name; }

class WriteAfterRestart : public TCliTest, public ::testing::WithParamInterface<TRestartCase> {};

}  // namespace

TEST_P(WriteAfterRestart, ReadsBackEveryCodeOnceTheUnitIsBack) {
  StartUnit(GetParam().Args);
  const std::string file = SaveUnit("unit.ini");

  const auto run = RunCli({"write", file, "--port", "COM3"});

  EXPECT_EQ(run.Exit, 0) << run.Err;
  EXPECT_NE(run.Err.find("Проверено: 43 параметров совпадают"), std::string::npos) << run.Err;
  const auto commands = Unit->Commands();
  const auto stored = std::find(commands.begin(), commands.end(), "#S");
  ASSERT_NE(stored, commands.end());
  EXPECT_EQ(std::count_if(stored, commands.end(),
                          [](const std::string& c) { return c.rfind("#R", 0) == 0; }),
            43);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, WriteAfterRestart,
    ::testing::Values(TRestartCase{"SilentAtOnce", {"--restart", "300"}},
                      // "#OK" to "#S" is not the unit being back: its restart is still to come.
                      TRestartCase{"AnswersThenRestarts",
                                   {"--ack-save", "--restart-after-save", "2000"}},
                      TRestartCase{"DropsOffTheBus", {"--reconnect", "1500"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Commands, WriteReportsACodeTheUnitKeepsAtAnotherValue) {
  StartUnit({"--keep", "M02=1"});
  const std::string file =
      WriteFile("unit.ini", WithValue(ReadFile(SaveUnit("saved.ini")), "Period", "4"));

  const auto run = RunCli({"write", file, "--port", "COM3"});

  EXPECT_EQ(run.Exit, 4) << run.Err;
  ASSERT_EQ(Lines(run.Out).size(), 1u) << run.Out;
  EXPECT_EQ(Lines(run.Out)[0].rfind("M02\tPeriod\t", 0), 0u) << run.Out;
}

TEST_F(Commands, DiffFindsExactlyTheChangedCodesAndWritesNothing) {
  StartUnit({"--set", "P01=70000000001", "--set", "P02=70000000002", "--set", "P03=70000000003"});
  const std::string saved = SaveUnit("saved.ini");
  EXPECT_EQ(RunCli({"diff", saved, "--port", "COM3"}).Exit, 0);
  const std::string changed = WriteFile(
      "changed.ini", WithValue(WithValue(ReadFile(saved), "Period", "2"), "PhoneSMS2", "123"));

  const auto run = RunCli({"diff", changed, "--port", "COM3"});

  EXPECT_EQ(run.Exit, 4) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 2u) << run.Out;
  EXPECT_EQ(lines[0].rfind("P02\tPhoneSMS2\t", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("M02\tPeriod\t", 0), 0u) << lines[1];
  for (const auto& command : Unit->Commands()) EXPECT_NE(command.rfind("#W", 0), 0u) << command;
}

TEST_F(Commands, WriteWarnsOfEveryValueTheFormDidNotKeepAndRefusesAControlCharacter) {
  StartUnit();
  const std::string saved = ReadFile(SaveUnit("saved.ini"));
  const std::string clamped = WriteFile(
      "clamped.ini", WithValue(WithValue(saved, "RingLevel", "99"), "TimeZone", Cp1251("+3ч")));

  const auto run = RunCli({"write", clamped, "--port", "COM3", "--no-verify"});

  EXPECT_EQ(run.Exit, 0) << run.Err;
  for (const char* said : {"Предупреждение: RingLevel: «99» — вне диапазона от 0 до 15",
                           "Предупреждение: TimeZone: «+3ч» — не целое число"})
    EXPECT_NE(run.Err.find(said), std::string::npos) << run.Err;

  StartUnit();
  const auto escaped =
      RunCli({"write", WriteFile("escape.ini", WithValue(saved, "SMSPwd", "12\x1b#WL00")), "--port",
              "COM3"});

  EXPECT_EQ(escaped.Exit, 3) << escaped.Err;
  EXPECT_NE(escaped.Err.find("Ошибка: SMSPwd: «12\\x1B#WL00» — управляющий символ (код 27)"),
            std::string::npos)
      << escaped.Err;
  EXPECT_EQ(Unit->Commands(), std::vector<std::string>{});
}

namespace {

struct TSignalCase {
  const char* Name;
  int Signal;
  int Exit;
};

class SignalDuringWrite : public TCliTest, public ::testing::WithParamInterface<TSignalCase> {};

}  // namespace

TEST_P(SignalDuringWrite, IsTakenOnceTheUnitHasItsFinalCommand) {
  const auto& c = GetParam();
  StartUnit();
  const std::string file = SaveUnit("unit.ini");
  // A slow unit, so that the signal comes in the middle of the write.
  StartUnit({"--delay", "40"});
  TCliProcess write({"write", file, "--port", "COM3"});
  ASSERT_TRUE(WaitUntil([&] { return Unit->Commands().size() >= 4; })) << write.Err();

  write.Signal(c.Signal);

  EXPECT_EQ(write.Wait(), c.Exit) << write.Err();
  const auto commands = Unit->Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& s) { return s.rfind("#W", 0) == 0; }),
            43);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "#S"), commands.end());
  EXPECT_NE(write.Err().find(std::string("Остановлено: ") + c.Name), std::string::npos)
      << write.Err();
}

INSTANTIATE_TEST_SUITE_P(Cli, SignalDuringWrite,
                         ::testing::Values(TSignalCase{"SIGINT", SIGINT, 130},
                                           TSignalCase{"SIGHUP", SIGHUP, 129}),
                         [](const auto& info) { return std::string(info.param.Name); });
