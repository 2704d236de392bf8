// The port in the frame of an operation, in the options panel and at the exit, over a real
// pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdlib>

#include "link/VestraError.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

// A pseudo-terminal standing in for a serial device; the window opens its far end by a port
// name mapped in the settings store.
class TPseudoTerminal {
 public:
  TPseudoTerminal() {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0) Path = ptsname(Master);
  }
  ~TPseudoTerminal() {
    if (Master >= 0) close(Master);
  }
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;
  // Whether some program holds the device end open.
  bool DeviceOpen() const {
    pollfd p{Master, POLLIN, 0};
    return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
  }
  int Master = -1;
  std::string Path;
};

}  // namespace

TEST_F(TWindowTest, OperationClosesThePortUnlessTheMonitorIsOn) {
  TPseudoTerminal unit;
  ASSERT_FALSE(unit.Path.empty());
  MapPort("COM2", unit.Path);
  auto window = NewWindow();
  window->CBPort->SetItemIndex(1);
  EXPECT_EQ(window->PortName(), "COM2");

  bool sawOpen = false;
  EXPECT_TRUE(window->RunOperation(
      "Читаю версию...", [&] { sawOpen = window->Link.PortHandle >= 0 && unit.DeviceOpen(); }));
  EXPECT_TRUE(sawOpen);
  EXPECT_EQ(window->Link.PortHandle, -1);
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_TRUE(Person.Boxes.empty());

  window->SBGPS->setChecked(true);
  EXPECT_TRUE(window->RunOperation("Читаю версию...", [] {}));
  EXPECT_GE(window->Link.PortHandle, 0);
  EXPECT_TRUE(unit.DeviceOpen());

  // A failure closes the port even with the monitor on.
  EXPECT_FALSE(window->RunOperation("Читаю версию...", [] { throw EVestraError("Сбой"); }));
  EXPECT_EQ(window->Link.PortHandle, -1);
  EXPECT_FALSE(unit.DeviceOpen());

  window->ReleaseMonitor();
  EXPECT_FALSE(window->MonitorOn());
}

TEST_F(TWindowTest, ExitClosesThePortLeftOpenForTheMonitor) {
  TPseudoTerminal unit;
  ASSERT_FALSE(unit.Path.empty());
  MapPort("COM1", unit.Path);
  auto window = NewWindow();
  window->show();
  window->CBPort->SetItemIndex(0);
  window->SBGPS->setChecked(true);
  window->OpenSelectedPort();
  ASSERT_TRUE(unit.DeviceOpen());
  window->FindControlAs<QAction>("N1")->trigger();
  EXPECT_FALSE(window->isVisible());
  window.reset();  // the message loop has ended: the window goes
  EXPECT_FALSE(unit.DeviceOpen());
  QSettings store("Mirotan", "TindraSetup");
  EXPECT_EQ(store.value("CBPort.ItemIndex").toInt(), 0);
}

TEST_F(TWindowTest, OptionsPanelClosesThePortAndShowsTheDeviceOfThePort) {
  TPseudoTerminal unit;
  MapPort("COM3", unit.Path);
  auto window = NewWindow();
  window->CBPort->SetItemIndex(2);
  window->OpenSelectedPort();
  ASSERT_TRUE(unit.DeviceOpen());
  QString shown;
  QTimer::singleShot(0, window.get(), [&] {
    EXPECT_TRUE(window->SFOptions->isModal());
    EXPECT_EQ(window->SFOptions->windowTitle(), "Опции");
    EXPECT_TRUE(window->BtOK->isDefault());
    EXPECT_EQ(window->BtFindPort->text(), "Найти");
    shown = window->SFOptions->findChild<QLabel*>("LbPortDevice")->text();
    QTest::keyClick(window->SFOptions, Qt::Key_Return);  // Enter presses "OK"
  });
  window->ActOptionExecute();
  EXPECT_FALSE(window->SFOptions->isVisible());
  EXPECT_FALSE(unit.DeviceOpen());
  EXPECT_TRUE(shown.endsWith(QString::fromStdString(unit.Path))) << shown.toStdString();
}

TEST_F(TWindowTest, MonitorButtonRunsItsHandlerForTheUsersClicksOnly) {
  TPseudoTerminal unit;
  MapPort("COM4", unit.Path);
  auto window = NewWindow();
  window->show();
  window->CBPort->SetItemIndex(3);
  QTest::mouseClick(window->SBGPS, Qt::LeftButton);
  ASSERT_TRUE(window->MonitorOn());
  window->OpenSelectedPort();

  // Released by the program (as a write does): no handler, the port stays.
  window->ReleaseMonitor();
  EXPECT_FALSE(window->MonitorOn());
  EXPECT_TRUE(unit.DeviceOpen());

  window->SBGPS->setChecked(true);
  QTest::mouseClick(window->SBGPS, Qt::LeftButton);  // released by the user: the port closes
  EXPECT_FALSE(window->MonitorOn());
  EXPECT_FALSE(unit.DeviceOpen());
}

TEST_F(TWindowTest, TimerTicksCarryTheUnitsMessagesIntoTheLogWhileTheMonitorIsOn) {
  TSimUnit unit;
  MapPort("COM6", unit.PtyPath());
  auto window = std::make_unique<TFmMain>();  // the window's own person writes the log pane
  window->show();
  EXPECT_TRUE(window->Timer->isActive());
  EXPECT_EQ(window->Timer->interval(), 100);
  window->CBPort->SetItemIndex(5);
  QTest::mouseClick(window->SBGPS, Qt::LeftButton);
  QTRY_VERIFY(window->Link.PortHandle >= 0);
  unit.Send("$POS,1\r");
  QTRY_VERIFY(window->MmLog->toPlainText().contains("$POS,1"));

  // While the wait panel is being drawn an operation is under way: no tick reads the port.
  unit.Send("$POS,2\r");
  QThread::msleep(150);  // a tick is due when the panel lets events through
  window->Person->ShowWait("Читаю версию...");
  EXPECT_FALSE(window->MmLog->toPlainText().contains("$POS,2"));
  window->Person->HideWait();
  QTRY_VERIFY(window->MmLog->toPlainText().contains("$POS,2"));
}
