// Shared set-up of the service tests: a real main window with a scripted person, every port
// name mapped to a device that does not exist unless a simulated unit is put behind it, and the
// 100 ms timer stopped so that each test drives the monitor's ticks itself.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

class TServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings store("Mirotan", "TindraSetup");
    store.clear();
    for (int i = 1; i <= 24; ++i)
      store.setValue(QString("Ports/COM%1").arg(i), QString("/nonexistent/vestra-com%1").arg(i));
    store.sync();
    CreateWindow();
  }

  void TearDown() override { Window.reset(); }

  void CreateWindow() {
    Window.reset();
    Window = std::make_unique<TFmMain>();
    Window->Timer->stop();
    Window->SetPerson(&Person);
  }

  // Puts `sim` behind the port name `port` ("COM5").
  static void Plug(const std::string& port, TSimUnit& sim) {
    QSettings store("Mirotan", "TindraSetup");
    store.setValue(QString::fromStdString("Ports/" + port), QString::fromStdString(sim.PtyPath()));
    store.sync();
  }

  void Select(const std::string& port) {
    Window->CBPort->SetItemIndex(Window->CBPort->findText(QString::fromStdString(port)));
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

  bool LinkOpen() const { return Window->Link.PortHandle != -1; }

  // The message boxes (not the questions), in order.
  std::vector<TScriptedPerson::TBox> Messages() const {
    std::vector<TScriptedPerson::TBox> out;
    for (const auto& box : Person.Boxes)
      if (!box.Question) out.push_back(box);
    return out;
  }

  TScriptedPerson Person;
  std::unique_ptr<TFmMain> Window;
};
