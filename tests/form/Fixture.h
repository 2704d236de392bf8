// What the window tests share: a clean settings store per test, and a window that speaks to a
// scripted person.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <memory>

#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"

inline void ClearSettingsStore() {
  QSettings store("Mirotan", "TindraSetup");
  store.clear();
  store.sync();
}

class TWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearSettingsStore(); }
  // A fresh window as the program makes it, speaking to `Person`.
  std::unique_ptr<TFmMain> NewWindow() {
    auto window = std::make_unique<TFmMain>();
    window->SetPerson(&Person);
    return window;
  }
  TScriptedPerson Person;
};
