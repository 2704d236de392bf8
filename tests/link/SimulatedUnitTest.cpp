// The simulated unit that the other tests and people trying the program rely on: what it
// carries for each firmware version, how it registers itself, and that misbehaviour on request
// still leaves a usable line.
#include <QSettings>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "link/VestraError.h"
#include "service/PortStore.h"
#include "tests/link/LinkTestKit.h"
#include "tests/support/Orders.h"

namespace {

// The codes a firmware version does not carry, by asking the unit for every one.
std::vector<std::string> Missing(const std::string& firmware) {
  TLinkedUnit unit({"--firmware", firmware});
  std::vector<std::string> missing;
  for (const auto& code : FullReadOrder) {
    std::string answer = unit.Link.ExecuteCommand("#R" + code + "\r");
    if (answer == "#ERR2\r")
      missing.push_back(code);
    else
      EXPECT_EQ(answer.rfind("#R" + code + " ", 0), 0u) << firmware << " " << answer;
  }
  return missing;
}

}  // namespace

TEST(SimulatedUnit, EachFirmwareCarriesTheCodesOfItsVersion) {
  using V = std::vector<std::string>;
  const V from207 = {"M19", "M20", "M21", "R01", "R02", "R03"};
  EXPECT_EQ(Missing("3.00"), V{});
  EXPECT_EQ(Missing("2.08"), (V{"R01", "R02", "R03"}));
  EXPECT_EQ(Missing("2.07"), from207);
  V from206 = {"M18"};
  from206.insert(from206.end(), from207.begin(), from207.end());
  EXPECT_EQ(Missing("2.065"), from206);
  const V below200 = {"G11", "G12", "G13", "G14", "M16", "M17", "G05",
                      "M18", "M19", "M20", "M21", "R01", "R02", "R03"};
  EXPECT_EQ(Missing("1.99"), below200);
  EXPECT_EQ(Missing("-1.00"), below200);
}

TEST(SimulatedUnit, AnswersTheServiceCommandsAndKeepsWrittenValues) {
  TLinkedUnit unit({"--set", "S02=10,0,0,200"});
  EXPECT_EQ(unit.Link.ExecuteCommand("#T 26,12,08,10,05,59\r"), "#OK\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#T 26-12-08\r"), "#ERR1\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#P\r"), "#OK\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#WL00\r"), "#OK\r");
  EXPECT_EQ(unit.Link.ReadParameter("S02"), "10,0,0,200");
  unit.Link.WriteParameter("S02", "0,0,0,0");
  EXPECT_EQ(unit.Link.ReadParameter("S02"), "0,0,0,0");
  EXPECT_EQ(unit.Link.ExecuteCommand("#RX99\r"), "#ERR2\r");
  unit.Link.SendCommand("#S\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#V\r"), "#V 3.00\r") << "nothing answered #S";
  EXPECT_EQ(unit.Sim.Commands().at(8), "#S");
}

TEST(SimulatedUnit, ALineTypedByHandEndsWithEnter) {
  TLinkedUnit unit({"--version-form", "named", "--firmware", "2.08"});
  EXPECT_EQ(unit.Link.ExecuteCommand("#V\n"), "#Vestra GSM/GPS v2.08\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#RM20\r\n"), "#RM20 24\r");
  EXPECT_EQ(unit.Sim.Commands(), (std::vector<std::string>{"#V", "#RM20"}));
}

// Every stop the unit can see takes its port name and link back; after a SIGKILL, which it
// cannot see, the configurator ignores the name it left, whose terminal may soon be another's.
TEST(SimulatedUnit, RegistersItsPortAndLinkUntilItStops) {
  const std::string link = std::string(VESTRA_TEST_TEMP) + "/vestra-unit";
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGKILL}) {
    TSimUnit sim({"--com", "COM21", "--link", link});
    {
      QSettings settings("Mirotan", "TindraSetup");
      EXPECT_EQ(settings.value("Ports/COM21").toString().toStdString(), sim.PtyPath());
    }
    EXPECT_EQ(StoredPortDevice("COM21"), sim.PtyPath());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.PtyPath());
    TLink byLink(nullptr, [&link](const std::string&) { return link; });
    EXPECT_EQ(byLink.OpenPort("COM21"), "");
    byLink.ClosePort();

    sim.Stop(signal);
    QSettings settings("Mirotan", "TindraSetup");
    EXPECT_EQ(settings.contains("Ports/COM21"), signal == SIGKILL) << strsignal(signal);
    EXPECT_EQ(StoredPortDevice("COM21"), DefaultDevicePath("COM21")) << strsignal(signal);
    if (signal != SIGKILL) {
      EXPECT_FALSE(std::filesystem::is_symlink(link)) << strsignal(signal);
    }
    std::filesystem::remove(link);
    settings.remove("Ports/COM21");
    settings.remove("Simulated/COM21");
  }
}

TEST(SimulatedUnit, GarbageAroundEveryMessageDoesNotDisturbTheExchange) {
  TLinkedUnit unit({"--garbage", "--baud", "115200"});
  EXPECT_EQ(unit.Link.ReadVersion(), "3.00");
  EXPECT_EQ(unit.Link.ReadParameter("E01"), "1,0,2");
  unit.Link.WriteParameter("E01", "0,0,1");
  EXPECT_EQ(unit.Link.ReadParameter("E01"), "0,0,1");
}

TEST(SimulatedUnit, StoppingItIsAHangUpForTheProgram) {
  TLinkedUnit unit;
  EXPECT_EQ(unit.Link.ReadVersion(), "3.00");
  unit.Sim.Stop();
  EXPECT_THROW(unit.Link.ReadParameter("G01"), EVestraError);
}
