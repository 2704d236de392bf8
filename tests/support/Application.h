// The one application object of a test program.
//
// `TApplicationEnvironment` is a global test environment: before the first test it makes the
// QApplication, offscreen unless QT_QPA_PLATFORM says otherwise and with HOME pointed at a
// temporary folder (the file dialogs start there, so a test gone astray never writes into the
// real home); after the last test it destroys the application while Qt's own statics still
// stand, then removes the folder. The test programs' `main` (Application.cpp) registers it, so
// every test finds the application in place and reaches it through QApplication's statics.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

class TApplicationEnvironment : public ::testing::Environment {
 public:
  explicit TApplicationEnvironment(const char* programName);
  void SetUp() override;
  void TearDown() override;

 private:
  int Argc = 1;
  QByteArray Name;
  char* Argv[2] = {nullptr, nullptr};
  bool HadHome = false;
  QByteArray RealHome;
  std::unique_ptr<QTemporaryDir> Home;
  std::unique_ptr<QApplication> App;
};
