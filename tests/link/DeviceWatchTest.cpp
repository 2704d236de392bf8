// Device events: a slot's link coming, going and coming back at once, and a device let go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "link/DeviceWatch.h"
#include "link/SerialPort.h"
#include "tests/support/SimUnit.h"

namespace {

using TChange = TDeviceWatch::TChange;

// The changes the watch reports once the system has told it of something.
std::vector<TChange> Next(TDeviceWatch& watch) {
  EXPECT_TRUE(watch.Wait(std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  std::vector<TChange> changes;
  for (const auto& event : watch.TakeEvents()) changes.push_back(event.Change);
  return changes;
}

}  // namespace

TEST(DeviceWatch, SeesALinkComeGoAndComeBackAtOnceAndTheDeviceLetGo) {
  TSimUnit sim;
  const std::string folder = VESTRA_TEST_TEMP "/watch";
  std::filesystem::create_directories(folder);
  const std::string link = folder + "/slot1.tty";
  std::filesystem::remove(link);
  TDeviceWatch watch({link});
  EXPECT_FALSE(watch.Present(0));

  std::filesystem::create_symlink(sim.PtyPath(), link);
  EXPECT_EQ(Next(watch), std::vector<TChange>{TChange::Appeared});
  EXPECT_TRUE(watch.Present(0));

  // Unplugged and plugged in again before anyone looked: still two events.
  std::filesystem::remove(link);
  std::filesystem::create_symlink(sim.PtyPath(), link);
  EXPECT_EQ(Next(watch), (std::vector<TChange>{TChange::Gone, TChange::Appeared}));

  SerialPort::CloseDevice(SerialPort::OpenDevice(link));
  EXPECT_EQ(Next(watch), std::vector<TChange>{TChange::Released});

  std::filesystem::remove(link);
  EXPECT_EQ(Next(watch), std::vector<TChange>{TChange::Gone});
  EXPECT_FALSE(watch.Present(0));
}
