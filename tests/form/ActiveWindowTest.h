// A shown and active window for the tests that type and click into it as the user does.
#pragma once

#include <QApplication>
#include <QTest>

#include "tests/support/WindowTest.h"

class TActiveWindowTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    OpenWindow();
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  }
};
