// What a port that cannot be opened says, on either system: its name and the system's own text,
// or for a port that another program holds, that a program holds it. A held port cannot be made
// under Wine (it lets a second program open a COM port), so the Windows text is checked here.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "link/Link.h"
#include "link/PortFailure.h"
#include "link/SerialPort.h"

namespace {

#ifdef _WIN32
constexpr TSystemError kOtherFailure = 31;   // ERROR_GEN_FAILURE
constexpr TSystemError kHeldElsewhere = 5;  // ERROR_ACCESS_DENIED, as a held COM port gives
#else
constexpr TSystemError kOtherFailure = EIO;
constexpr TSystemError kHeldElsewhere = EBUSY;
#endif

TEST(PortErrorText, NamesThePortAndGivesTheSystemsTextWithoutALineEnd) {
  const std::string system = SerialPort::ErrorText(kOtherFailure);
  ASSERT_FALSE(system.empty());
  EXPECT_NE(system.back(), '\n');
  EXPECT_NE(system.back(), '\r');
  EXPECT_EQ(OpenFailureText("COM7", "", kOtherFailure), "COM7: " + system);
}

TEST(PortErrorText, BusyPortSaysThatAnotherProgramHoldsIt) {
  ASSERT_TRUE(SerialPort::IsBusy(kHeldElsewhere));
  const std::string text = OpenFailureText("COM3", DefaultDevicePath("COM3"), kHeldElsewhere);
  EXPECT_EQ(text.rfind("COM3", 0), 0u) << text;
  EXPECT_NE(text.find("порт занят"), std::string::npos) << text;
  EXPECT_NE(text.find("программой"), std::string::npos) << text;
}

}  // namespace
