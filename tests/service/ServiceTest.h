// Shared set-up of the service tests: a real main window with a scripted person, every port
// name mapped to a device that does not exist unless a simulated unit is put behind it, and the
// 100 ms timer stopped so that each test drives the monitor's ticks itself.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

class TServiceTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    for (int i = 1; i <= 24; ++i)
      MapPort("COM" + std::to_string(i), "/nonexistent/vestra-com" + std::to_string(i));
    OpenWindow();
  }

  void OpenWindow() override {
    TWindowTest::OpenWindow();
    Window->Timer->stop();
  }

  // Turns the monitor on as the person's click does.
  void MonitorOnByClick() {
    if (!Window->MonitorOn()) Window->SBGPS->click();
    ASSERT_TRUE(Window->MonitorOn());
  }

  // The commands `sim` received, without their final CR.
  static std::vector<std::string> Sent(TSimUnit& sim) {
    std::vector<std::string> out;
    for (const auto& command : sim.Commands()) {
      std::string text(command);
      while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
      out.push_back(text);
    }
    return out;
  }

  // The message boxes (not the questions), in order.
  std::vector<TScriptedPerson::TBox> Messages() const {
    std::vector<TScriptedPerson::TBox> out;
    for (const auto& box : Person.Boxes)
      if (!box.Question) out.push_back(box);
    return out;
  }
};
