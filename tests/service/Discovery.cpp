// Port discovery against ports without devices and simulated units on chosen port names.
#include <chrono>

#include "tests/service/ServiceTest.h"

namespace {

using TIcon = TPerson::TIcon;

class TDiscoveryTest : public TServiceTest {};

TEST_F(TDiscoveryTest, NoDevicesIsReportedAtOnceAndKeepsTheSelection) {
  Select("COM4");
  const auto start = std::chrono::steady_clock::now();
  Window->BtFindPortClick();
  const auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_LT(elapsed, std::chrono::seconds(2));
  ASSERT_EQ(Person.Boxes.size(), 1u);
  EXPECT_EQ(Person.Boxes[0].Text, "Вестра не найдена");
  EXPECT_EQ(Person.Boxes[0].Caption, "Предупреждение");
  EXPECT_EQ(Person.Boxes[0].Icon, TIcon::Warning);
  EXPECT_FALSE(Person.Boxes[0].Question);
  EXPECT_EQ(Window->CBPort->SelectedText(), "COM4");
  ASSERT_EQ(Person.WaitTexts.size(), 24u);
  EXPECT_EQ(Person.WaitTexts.front(), "Проверяю порт COM1...");
  EXPECT_EQ(Person.WaitTexts.back(), "Проверяю порт COM24...");
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_TRUE(Person.LogLines.empty());
  EXPECT_FALSE(PortOpen());
}

TEST_F(TDiscoveryTest, FirstUnitInListOrderWinsAndLaterPortsAreNeverOpened) {
  TSimUnit first({"--firmware", "3.00"});
  TSimUnit second({"--firmware", "4.10"});
  MapPort("COM5", first.PtyPath());
  MapPort("COM9", second.PtyPath());
  Select("COM12");

  Window->BtFindPortClick();

  EXPECT_EQ(Window->CBPort->SelectedText(), "COM5");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].Text, "Найдена Вестра версии 3.00 на COM5");
  EXPECT_EQ(Messages()[0].Caption, "Вестра");
  EXPECT_EQ(Messages()[0].Icon, TIcon::Information);
  EXPECT_EQ(Sent(first), std::vector<std::string>{"#V"});
  EXPECT_TRUE(Sent(second).empty());
  EXPECT_EQ(Person.WaitTexts.size(), 5u);
  EXPECT_EQ(Person.WaitTexts.back(), "Проверяю порт COM5...");
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_EQ(Person.VersionCaption, "Версия 3.00");
  EXPECT_FALSE(PortOpen());
}

TEST_F(TDiscoveryTest, ErrorAnswerOrEmptyVersionIsNoUnit) {
  TSimUnit refusing({"--error", "V=2"});
  TSimUnit empty({"--reply", "V=#V"});
  MapPort("COM2", refusing.PtyPath());
  MapPort("COM3", empty.PtyPath());
  Select("COM1");

  Window->BtFindPortClick();

  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].Text, "Вестра не найдена");
  EXPECT_EQ(Window->CBPort->SelectedText(), "COM1");
  EXPECT_FALSE(Sent(refusing).empty());
  EXPECT_FALSE(Sent(empty).empty());

  // A usable unit further down the list is still found after both.
  TSimUnit good({"--firmware", "2.07", "--version-form", "named"});
  MapPort("COM4", good.PtyPath());
  Person.Boxes.clear();
  Window->BtFindPortClick();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].Text, "Найдена Вестра версии 2.07 на COM4");
  EXPECT_EQ(Window->CBPort->SelectedText(), "COM4");
}

TEST_F(TDiscoveryTest, RunningMonitorIsDisconnectedAndReconnectsToTheFoundPort) {
  TSimUnit selected({"--firmware", "3.00"});
  TSimUnit found({"--firmware", "3.00"});
  PlugIn("COM7", selected);
  MapPort("COM3", found.PtyPath());
  MonitorOnByClick();
  Window->TimerTimer();
  ASSERT_TRUE(PortOpen());

  Window->BtFindPortClick();
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Window->CBPort->SelectedText(), "COM3");
  EXPECT_EQ(Sent(found), std::vector<std::string>{"#V"});
  EXPECT_TRUE(Sent(selected).empty());

  // The next ticks listen to the unit that was found. The first one opens its port, which drops
  // whatever the line held before; only then does the unit speak.
  Window->TimerTimer();
  ASSERT_TRUE(PortOpen());
  found.Send("$FOUND\r");
  auto last = [this] { return Person.LogLines.empty() ? "" : Person.LogLines.back(); };
  for (int tick = 0; tick < 100 && last() != "$FOUND\r"; ++tick) Window->TimerTimer();
  EXPECT_EQ(last(), "$FOUND\r");
  EXPECT_TRUE(PortOpen());
  EXPECT_TRUE(Window->MonitorOn());
}

}  // namespace
