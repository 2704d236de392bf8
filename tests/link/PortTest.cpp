// Opening and closing the port: names, missing and busy devices, the buffer across opens, and
// a device that goes away.
#include <cerrno>
#include <cstring>

#include "link/PortFailure.h"
#include "link/VestraError.h"
#include "tests/link/LinkTestKit.h"
#include "tests/support/HeldPort.h"

namespace {

std::string SystemText(int error) { return std::strerror(error); }

}  // namespace

TEST(PortNames, ComNamesMapToTheUsualLinuxDevices) {
  EXPECT_EQ(DefaultDevicePath("COM1"), "/dev/ttyACM0");
  EXPECT_EQ(DefaultDevicePath("COM8"), "/dev/ttyACM7");
  EXPECT_EQ(DefaultDevicePath("COM9"), "/dev/ttyUSB0");
  EXPECT_EQ(DefaultDevicePath("COM16"), "/dev/ttyUSB7");
  EXPECT_EQ(DefaultDevicePath("COM17"), "/dev/ttyS0");
  EXPECT_EQ(DefaultDevicePath("COM24"), "/dev/ttyS7");
  for (const char* name : {"COM0", "COM25", "COM01", "COM", "com3", "COM3x", ""})
    EXPECT_EQ(DefaultDevicePath(name), "") << name;
}

TEST(PortOpening, ANameWithoutDeviceNamesBothAndStaysClosed) {
  TScriptedPerson person;
  TLink link(&person, [](const std::string&) { return std::string("/nonexistent/ttyX"); });
  EXPECT_EQ(link.OpenPort("COM7"), "COM7 (/nonexistent/ttyX): нет такого устройства");
  EXPECT_EQ(link.PortHandle, -1);
  EXPECT_EQ(link.LastErrorText(), SystemText(ENOENT));

  TLink unresolved(&person, {});  // no resolver: the default devices; COM25 has none
  EXPECT_EQ(unresolved.OpenPort("COM25"), "COM25: нет такого устройства");
  EXPECT_EQ(unresolved.PortHandle, -1);
}

// What a person can mend is said in their words; the rest keeps the system's text.
TEST(PortOpening, FailureTextsTellWhatToDo) {
  const std::string dialout =
      ". Порты доступны группе dialout: sudo usermod -aG dialout $USER, затем войдите в систему "
      "заново";
  const struct {
    const char *Name, *Path;
    int Error;
    std::string Text;
  } cases[] = {
      {"", "", ENOENT, "Порт не выбран: выберите его в опциях или нажмите «Найти»"},
      {"COM1", "/dev/ttyACM0", ENOENT, "COM1 (/dev/ttyACM0): нет такого устройства"},
      {"/dev/ttyUSB3", "/dev/ttyUSB3", ENOENT, "/dev/ttyUSB3: нет такого устройства"},
      {"COM1", "/dev/ttyACM0", EACCES, "COM1 (/dev/ttyACM0): " + SystemText(EACCES) + dialout},
      {"COM9", "/dev/ttyUSB0", EIO, "COM9 (/dev/ttyUSB0): " + SystemText(EIO)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OpenFailureText(c.Name, c.Path, c.Error), c.Text) << c.Name << " " << c.Error;
}

TEST(PortOpening, OpenWhileOpenKeepsTheBufferAndOnlyAFreshOpenEmptiesIt) {
  TLinkedUnit unit;
  int handle = unit.Link.PortHandle;
  unit.Burst("#partial");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Link.OpenPort("COM9"), "") << "already open: success at once, whatever the name";
  EXPECT_EQ(unit.Link.PortHandle, handle);
  EXPECT_EQ(unit.Held(), "#partial");

  unit.Link.ClosePort();
  EXPECT_EQ(unit.Link.PortHandle, -1);
  EXPECT_EQ(unit.Held(), "#partial") << "closing keeps the buffer";
  unit.Link.ClosePort();  // harmless
  EXPECT_EQ(unit.Link.PortHandle, -1);

  EXPECT_EQ(unit.Link.OpenPort("COM3"), "");
  EXPECT_EQ(unit.Link.RxCount, 0);
}

TEST(PortOpening, APortHeldByAnotherProcessNamesItAndIsFreeOnceReleased) {
  TSimUnit sim;
  THeldPort holder(sim.PtyPath());

  TLink link(nullptr, [&sim](const std::string&) { return sim.PtyPath(); });
  EXPECT_EQ(link.OpenPort("COM3"), "COM3 (" + sim.PtyPath() +
                                       "): порт занят программой test_link (PID " +
                                       std::to_string(holder.Pid()) + ")");
  EXPECT_EQ(link.PortHandle, -1);

  holder.Release();
  EXPECT_EQ(link.OpenPort("COM3"), "") << "free again once the other program has closed it";
}

TEST(PortOpening, AClosedPortCanBeOpenedAgainByTheNextProgram) {
  TSimUnit sim;
  TLink first(nullptr, [&sim](const std::string&) { return sim.PtyPath(); });
  ASSERT_EQ(first.OpenPort("COM3"), "");
  first.ClosePort();
  TLink second(nullptr, [&sim](const std::string&) { return sim.PtyPath(); });
  EXPECT_EQ(second.OpenPort("COM3"), "");
}

TEST(PortHangUp, ReadAndWriteFailWithTheSystemTextOnceTheDeviceIsGone) {
  TLinkedUnit unit;
  unit.Burst("#A");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  unit.Sim.Stop();
  try {
    unit.Link.ReadAnswer();
    ADD_FAILURE() << "a hang-up read as silence";
  } catch (const EVestraError& e) {
    EXPECT_EQ(std::string(e.what()), SystemText(EIO));
  }
  EXPECT_EQ(unit.Held(), "#A") << "a failed read keeps the buffer";
  EXPECT_NE(unit.Link.PortHandle, -1) << "the link stays open until the caller closes it";
  EXPECT_THROW(unit.Link.SendCommand("#V\r"), EVestraError);
  EXPECT_EQ(unit.Person.LogLines, std::vector<std::string>{"#V\r"}) << "logged before sending";
  unit.Link.ClosePort();
}

TEST(PortHangUp, AReadOnAClosedLinkFailsInsteadOfWaiting) {
  TScriptedPerson person;
  TLink link(&person, {});
  EXPECT_THROW(link.ReadAnswer(), EVestraError);
  EXPECT_THROW(link.SendCommand("#V\r"), EVestraError);
}
