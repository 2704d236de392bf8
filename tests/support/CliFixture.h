// vestra-cli run as a real process against the simulated unit on a pseudo-terminal, in a
// settings store of the test's own where the unit is COM3, and with its files in a temporary
// folder. The window of the fixture makes the reference files: what the window saves after
// reading the same unit.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/CliProcess.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

class TCliTest : public TWindowTest {
 protected:
  QTemporaryDir Dir{VESTRA_TEST_TEMP "/cli-XXXXXX"};
  std::unique_ptr<TSimUnit> Unit;

  // Starts a unit with `args` and maps COM3 to it; an earlier unit goes first.
  TSimUnit& StartUnit(std::vector<std::string> args = {});
  // The device COM3 is mapped to while a unit runs.
  std::string UnitDevice() const;
  std::string PathOf(const std::string& name) const;
  // Writes `bytes` into the folder's file `name`; its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const;
  static std::string ReadFile(const std::string& path);
  // The window reads the running unit and saves what it holds as `name`; its path.
  std::string SaveUnit(const std::string& name);
  // The unit's commands once one of them is `command` (or after a few seconds).
  std::vector<std::string> CommandsUpTo(const std::string& command);
};

// A station's slots: a template read from a first unit, which then goes, and fresh units
// plugged into the slots' ports ("slot<N>.tty" in the folder) as a person does.
class TSlotsFixture : public TCliTest {
 protected:
  std::string Template;

  void SetUp() override;
  std::string SlotPort(int slot) const;
  std::unique_ptr<TSimUnit> Plug(int slot, std::vector<std::string> more = {}) const;
};

// UTF-8 text as the unit receives it.
std::string Cp1251(const std::string& utf8);
// Lines of a text file without their ends.
std::vector<std::string> Lines(const std::string& text);
