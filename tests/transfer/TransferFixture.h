// A main window wired to a simulated unit on a pseudo-terminal, for the read and write tests.
//
// The window is real (offscreen); the person is scripted and also notes, at every box, whether
// the port was open and the wait panel shown, so that the order of the failure path can be
// checked. The unit is registered as COM3 in the test's own settings store.
#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

class TWatchingPerson : public TScriptedPerson {
 public:
  struct TMoment {
    bool PortOpen, WaitShown;
  };
  const std::unique_ptr<TFmMain>* Window = nullptr;  // the fixture's; empty while a window goes
  std::vector<TMoment> AtBoxes;

  bool Ask(const std::string& text, const std::string& caption, TIcon icon) override {
    Note();
    return TScriptedPerson::Ask(text, caption, icon);
  }
  void Tell(const std::string& text, const std::string& caption, TIcon icon) override {
    Note();
    TScriptedPerson::Tell(text, caption, icon);
  }

 private:
  void Note() {
    AtBoxes.push_back({Window && *Window && (*Window)->Link.PortHandle >= 0, WaitShown});
  }
};

class TTransferTest : public TWindowTestWith<TWatchingPerson> {
 protected:
  std::unique_ptr<TSimUnit> Unit;

  void SetUp() override {
    TWindowTestWith::SetUp();
    Person.Window = &Window;
    OpenWindow();
  }

  void OpenWindow() override {
    TWindowTestWith::OpenWindow();
    Window->SBGPS->setChecked(false);
  }

  // Starts a unit with `args` as COM3 and selects that port.
  TSimUnit& StartUnit(std::vector<std::string> args = {}) {
    Unit.reset();
    Unit = std::make_unique<TSimUnit>(std::move(args));
    PlugIn("COM3", *Unit);
    return *Unit;
  }

  // The unit's command log once it holds `count` commands (or after 3 s): commands that are
  // not answered may still be on their way when the operation returns.
  std::vector<std::string> Commands(std::size_t count = 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    auto commands = Unit->Commands();
    while (commands.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      commands = Unit->Commands();
    }
    return commands;
  }

  // The message boxes (not the questions) shown, in order.
  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const auto& box : Person.Boxes)
      if (!box.Question) texts.push_back(box.Text);
    return texts;
  }

  std::vector<std::string> Questions() const {
    std::vector<std::string> texts;
    for (const auto& box : Person.Boxes)
      if (box.Question) texts.push_back(box.Text);
    return texts;
  }

  // Fills the form from the unit, which must succeed.
  void ReadAll() {
    Window->ActReadExecute();
    ASSERT_EQ(Errors(), std::vector<std::string>{});
    Person.Boxes.clear();
    Person.AtBoxes.clear();
  }
};

inline std::string Utf8(const QString& text) { return text.toStdString(); }
