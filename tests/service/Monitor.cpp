// The receive monitor driven tick by tick against simulated units.
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <thread>

#include "link/SerialPort.h"
#include "tests/service/ServiceTest.h"

namespace {

using namespace std::chrono_literals;

class TMonitorTest : public TServiceTest {
 protected:
  // Ticks until `count` lines are logged or the time is up.
  void TickUntilLogged(std::size_t count, std::chrono::milliseconds limit = 3000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Person.LogLines.size() < count && std::chrono::steady_clock::now() < end)
      Window->TimerTimer();
  }
};

TEST_F(TMonitorTest, IsOffAtStartAndAfterARestart) {
  EXPECT_FALSE(Window->MonitorOn());
  Window->SBGPS->click();
  ASSERT_TRUE(Window->MonitorOn());
  OpenWindow();
  EXPECT_FALSE(Window->MonitorOn());
  EXPECT_FALSE(PortOpen());
}

TEST_F(TMonitorTest, MissingPortOrNoSelectionShowsNothingAndKeepsTrying) {
  Select("COM7");
  MonitorOnByClick();
  for (int i = 0; i < 3; ++i) Window->TimerTimer();
  Window->CBPort->SetItemIndex(-1);
  for (int i = 0; i < 3; ++i) Window->TimerTimer();
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_TRUE(Person.LogLines.empty());
  EXPECT_FALSE(PortOpen());
  EXPECT_TRUE(Window->MonitorOn());

  // The unit plugged in later is picked up by the next tick.
  TSimUnit unit({"--periodic", "50"});
  PlugIn("COM7", unit);
  Window->TimerTimer();
  EXPECT_TRUE(PortOpen());
}

TEST_F(TMonitorTest, LogsTheUnitsMessagesAndSendsNothing) {
  TSimUnit unit({"--periodic", "50"});
  PlugIn("COM3", unit);
  MonitorOnByClick();

  TickUntilLogged(3);
  ASSERT_GE(Person.LogLines.size(), 3u);
  for (const auto& line : Person.LogLines) {
    EXPECT_EQ(line.front(), '$');
    EXPECT_EQ(line.back(), '\r');
  }
  EXPECT_TRUE(Sent(unit).empty());
  EXPECT_TRUE(Person.Boxes.empty());
}

TEST_F(TMonitorTest, MessagesArrivingTogetherAreLoggedOneTickEachInOrder) {
  TSimUnit unit;
  PlugIn("COM3", unit);
  MonitorOnByClick();
  Window->TimerTimer();
  ASSERT_TRUE(PortOpen());

  unit.Send("$FIRST\r$SECOND\r");
  TickUntilLogged(1);
  ASSERT_EQ(Person.LogLines, std::vector<std::string>{"$FIRST\r"});
  Window->TimerTimer();
  ASSERT_EQ(Person.LogLines, (std::vector<std::string>{"$FIRST\r", "$SECOND\r"}));
  Window->TimerTimer();
  EXPECT_EQ(Person.LogLines.size(), 2u);
}

TEST_F(TMonitorTest, MessagesLeftBehindAnOperationsAnswerGoOnToTheLog) {
  // The answer and a message come in one burst: the operation takes the answer, keeps the port
  // for the monitor, and the message reaches the log on the next tick.
  TSimUnit unit({"--reply", "V=#V 3.00\r$AFTER"});
  PlugIn("COM3", unit);
  MonitorOnByClick();
  Window->ActVersionExecute();
  ASSERT_TRUE(PortOpen());
  Person.LogLines.clear();

  Window->TimerTimer();
  EXPECT_EQ(Person.LogLines, std::vector<std::string>{"$AFTER\r"});
}

TEST_F(TMonitorTest, SwitchingOffClosesTheLinkAtOnce) {
  TSimUnit unit({"--periodic", "50"});
  PlugIn("COM3", unit);
  MonitorOnByClick();
  Window->TimerTimer();
  ASSERT_TRUE(PortOpen());

  Window->SBGPS->click();
  EXPECT_FALSE(Window->MonitorOn());
  EXPECT_FALSE(PortOpen());
  const auto logged = Person.LogLines.size();
  Window->TimerTimer();
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Person.LogLines.size(), logged);
}

TEST_F(TMonitorTest, UnplugDuringMonitoringShowsOneErrorAndSwitchesOff) {
  auto unit = std::make_unique<TSimUnit>(std::vector<std::string>{"--periodic", "50"});
  PlugIn("COM3", *unit);
  MonitorOnByClick();
  TickUntilLogged(1);
  ASSERT_TRUE(PortOpen());

  unit->Stop();
  for (int i = 0; i < 5; ++i) Window->TimerTimer();

  const auto boxes = Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Ошибка");
  EXPECT_EQ(boxes[0].Icon, TPerson::TIcon::Stop);
  EXPECT_FALSE(boxes[0].Text.empty());
  EXPECT_FALSE(Window->MonitorOn());
  EXPECT_FALSE(Window->SBGPS->isChecked());
  EXPECT_FALSE(PortOpen());
}

TEST_F(TMonitorTest, ReadingTheConfigurationLeavesTheMonitorLogging) {
  TSimUnit unit({"--firmware", "4.00", "--periodic", "50"});
  PlugIn("COM3", unit);
  MonitorOnByClick();
  Window->TimerTimer();

  Window->ActReadExecute();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(PortOpen());
  EXPECT_TRUE(Window->MonitorOn());

  const auto logged = Person.LogLines.size();
  TickUntilLogged(logged + 2);
  EXPECT_GE(Person.LogLines.size(), logged + 2);
  EXPECT_EQ(Person.LogLines.back().front(), '$');
}

TEST_F(TMonitorTest, WritingTheConfigurationLeavesTheMonitorOffAndTheLinkClosed) {
  TSimUnit unit({"--firmware", "4.00"});
  PlugIn("COM3", unit);
  MonitorOnByClick();
  Window->TimerTimer();
  Window->ActReadExecute();
  ASSERT_TRUE(Messages().empty());
  ASSERT_TRUE(PortOpen());
  // What the unit holds, with the telephones it leaves empty filled in, passes the form's checks.
  for (TEdit* phone : {Window->EdPhone1, Window->EdPhone2, Window->EdPhone3})
    phone->SetText("+79001234567");

  Window->ActWriteExecute();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(Window->MonitorOn());
  EXPECT_FALSE(PortOpen());
  // The final command needs no answer, so the unit may log it a moment later.
  const auto end = std::chrono::steady_clock::now() + 2s;
  while (Sent(unit).back() != "#S" && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(Sent(unit).back(), "#S");
  Window->TimerTimer();
  EXPECT_FALSE(PortOpen());
}

TEST_F(TMonitorTest, UnplugUnderTheRunningTimerOpensOneRealBoxOnly) {
  // As the person sees it, with the window's own dialogs and its running timer: one box, left
  // open for a while, and the monitor is off once it is answered.
  Window->SetPerson(nullptr);
  Window->Timer->start();
  auto unit = std::make_unique<TSimUnit>(std::vector<std::string>{"--periodic", "50"});
  PlugIn("COM3", *unit);
  MonitorOnByClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Window->MmLog->toPlainText().isEmpty(); }, 3000));

  int boxes = 0;
  QString text;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->property("seen").toBool()) return;
    box->setProperty("seen", true);
    ++boxes;
    text = box->text();
    // Left open for a few ticks before it is answered.
    QTimer::singleShot(400, box, [box] { box->accept(); });
  });
  closer.start(10);
  unit->Stop();
  QTest::qWait(1500);
  closer.stop();

  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(text.isEmpty());
  EXPECT_FALSE(Window->MonitorOn());
  EXPECT_FALSE(PortOpen());
}

TEST_F(TMonitorTest, UnplugWhileAnOperationAsksShowsOneBoxNamingTheHangUp) {
  // The unit goes away while a read asks whether to go on past an unsupported code; the
  // window's timer keeps ticking meanwhile, as it does under a modal box.
  for (const bool goOn : {true, false}) {
    SCOPED_TRACE(goOn ? "Yes" : "No");
    OpenWindow();
    Window->Timer->start();
    auto unit = std::make_unique<TSimUnit>(std::vector<std::string>{"--error", "G01=2"});
    PlugIn("COM3", *unit);
    MonitorOnByClick();
    Person.Boxes.clear();
    Person.Answers = {goOn};
    Person.WhileAsking = [&] {
      unit->Stop();
      QTest::qWait(500);
    };
    Window->ActReadExecute();
    Person.WhileAsking = nullptr;
    QTest::qWait(300);

    ASSERT_FALSE(Person.Boxes.empty());
    EXPECT_TRUE(Person.Boxes[0].Question);
    const auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, SerialPort::ErrorText(EIO));
    EXPECT_EQ(boxes[0].Caption, "Ошибка");
    EXPECT_FALSE(Window->MonitorOn());
    EXPECT_FALSE(PortOpen());
  }
}

}  // namespace
