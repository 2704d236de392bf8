// A main window wired to a simulated unit on a pseudo-terminal, for the read and write tests.
//
// The window is real (offscreen); the person is scripted and also notes, at every box, whether
// the port was open and the wait panel shown, so that the order of the failure path can be
// checked. The unit is registered as COM3 in the test's own settings store.
#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

class TWatchingPerson : public TScriptedPerson {
 public:
  struct TMoment {
    bool PortOpen, WaitShown;
  };
  TFmMain* Form = nullptr;
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
  void Note() { AtBoxes.push_back({Form && Form->Link.PortHandle >= 0, WaitShown}); }
};

class TTransferTest : public ::testing::Test {
 protected:
  std::unique_ptr<TSimUnit> Unit;
  TWatchingPerson Person;
  std::unique_ptr<TFmMain> Form;

  void SetUp() override {
    Form = std::make_unique<TFmMain>();
    Person.Form = Form.get();
    Form->SetPerson(&Person);
    Form->SBGPS->setChecked(false);
  }

  void TearDown() override {
    Form->SetPerson(nullptr);
    Form.reset();
  }

  // Starts a unit with `args` as COM3 and selects that port.
  TSimUnit& StartUnit(std::vector<std::string> args = {}) {
    Unit.reset();
    Unit = std::make_unique<TSimUnit>(std::move(args));
    QSettings settings("Mirotan", "TindraSetup");
    settings.setValue("Ports/COM3", QString::fromStdString(Unit->PtyPath()));
    settings.sync();
    Form->CBPort->SetItemIndex(2);
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
    Form->ActReadExecute();
    ASSERT_EQ(Errors(), std::vector<std::string>{});
    Person.Boxes.clear();
    Person.AtBoxes.clear();
  }

  bool PortOpen() const { return Form->Link.PortHandle >= 0; }
};

inline std::string Utf8(const QString& text) { return text.toStdString(); }
