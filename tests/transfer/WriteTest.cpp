// Writing the configuration to a simulated unit over a pseudo-terminal.
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <ostream>
#include <regex>

#include "tests/support/Orders.h"
#include "tests/transfer/TransferFixture.h"
#include "transfer/CodeTable.h"

namespace {

class TWriteTest : public TTransferTest {
 protected:
  std::size_t Mark = 0;

  // A unit whose configuration passes the form's checks once read (phone 3 has an SMS type
  // and so needs a number), read into the form.
  void StartAndRead(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--set", "P03=+70000000003"});
    StartUnit(std::move(args));
    ReadAll();
    Mark = Commands().size();
    Window->CBSetTime->SetChecked(false);
    Window->CBManualCorrCoef->SetChecked(false);
  }

  // Puts another unit on the port after the form was filled; the write's commands are then all
  // it receives.
  void SwapUnit(std::vector<std::string> args) {
    Unit.reset();
    StartUnit(std::move(args));
    Mark = 0;
  }

  // The commands of the write, once `count` of them have arrived.
  std::vector<std::string> Written(std::size_t count = 0) {
    auto all = Commands(Mark + count);
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(Mark, all.size())), all.end()};
  }

  static std::string Value(const std::vector<std::string>& commands, const std::string& code) {
    for (const auto& c : commands)
      if (c.rfind("#W" + code + " ", 0) == 0) return c.substr(6);
    return "<not sent>";
  }
};

std::string Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string command = ClockCommand(local);
  return command.substr(0, command.size() - 1);
}

struct TGateCase {
  std::string Firmware;
  bool ManualCorrCoef;
  std::set<std::string> Skipped;
  std::size_t Writes;
  bool Clock;
  bool SetTime = true;  // CBSetTime
};

void PrintTo(const TGateCase& c, std::ostream* out) {
  *out << c.Firmware << (c.ManualCorrCoef ? " manual CorrCoef" : "")
       << (c.SetTime ? "" : " clock unset");
}

class WriteGates : public TWriteTest, public ::testing::WithParamInterface<TGateCase> {};

}  // namespace

using Write = TWriteTest;

TEST_P(WriteGates, FirmwareAndOptionsDecideWhatIsSentInWriteOrder) {
  const auto& c = GetParam();
  StartAndRead({"--firmware", c.Firmware});
  Window->CBManualCorrCoef->SetChecked(c.ManualCorrCoef);
  Window->CBSetTime->SetChecked(c.SetTime);

  std::string before = Now();
  Window->ActWriteExecute();
  std::string after = Now();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  auto codes = Without(FullWriteOrder, c.Skipped);
  EXPECT_EQ(codes.size(), c.Writes);
  auto written = Written(codes.size() + (c.Clock ? 3 : 2));
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(written.front(), "#V");
  std::vector<std::string> sentCodes;
  for (std::size_t i = 1; i < written.size() && written[i].rfind("#W", 0) == 0; ++i)
    sentCodes.push_back(written[i].substr(2, 3));
  EXPECT_EQ(sentCodes, codes);
  ASSERT_EQ(written.size(), codes.size() + (c.Clock ? 3 : 2));
  if (c.Clock) {
    const auto& clock = written[written.size() - 2];
    EXPECT_TRUE(std::regex_match(clock, std::regex("#T \\d\\d(,\\d\\d){5}"))) << clock;
    EXPECT_LE(before, clock);
    EXPECT_LE(clock, after);
  }
  EXPECT_EQ(written.back(), "#S");
  EXPECT_FALSE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_EQ(Person.WaitTexts.back(), "Запись параметров Вестра...");
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, WriteGates,
    ::testing::Values(
        TGateCase{"1.99", false, Union({From200, From207, From208, From300, {"M05"}}), 29, true},
        TGateCase{"-1.00", false, Union({From200, From207, From208, From300, {"M05"}}), 29, true},
        TGateCase{"1.99", true, Union({From200, From207, From208, From300}), 30, true},
        TGateCase{"2.07", true, Union({From208, From300}), 38, true},
        TGateCase{"2.08", false, Union({From300, {"M05"}}), 40, true},
        TGateCase{"3.00", false, {"M05"}, 43, true}, TGateCase{"3.00", true, {}, 44, true},
        TGateCase{"3.99", true, {}, 44, true}, TGateCase{"3.99", true, {}, 44, false, false},
        TGateCase{"4.00", true, {}, 44, false}));

TEST_F(Write, ValuesAreConvertedForTheUnit) {
  StartAndRead({"--firmware", "1.99"});
  Window->EdServer1->SetText("10.0.0.200");
  Window->CBServer3->SetChecked(true);
  Window->CBGPS->SetItemIndex(2);
  Window->CBPIRMode->SetItemIndex(0);
  Window->SELimitBal->SetValue(125);

  Window->ActWriteExecute();

  auto written = Written(31);
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_EQ(written.size(), 31u);
  EXPECT_EQ(written.back(), "#S");
  EXPECT_EQ(Value(written, "E01"), "1,0,2");
  EXPECT_EQ(Value(written, "B01"), "12");
  EXPECT_EQ(Value(written, "S01"), "10,0,0,200");
  EXPECT_EQ(Value(written, "S02"), "198,51,100,20");
  EXPECT_EQ(Value(written, "S03"), "0,0,0,0");
  EXPECT_EQ(Value(written, "M04"), "255");  // firmware before 2.00: on or off
  EXPECT_EQ(Value(written, "M10"), "2");
  EXPECT_EQ(Value(written, "M11"), "178");
  EXPECT_EQ(Value(written, "P03"), "70000000003");
}

TEST_F(Write, WhatIsWrittenReadsBackTheSame) {
  StartAndRead();
  Window->CBManualCorrCoef->SetChecked(true);
  Window->CBSetTime->SetChecked(true);
  Window->EdLoginE->SetText("новый");
  Window->EdServer2->SetText("10.0.0.200");
  Window->CBServer1->SetChecked(true);
  Window->CBPeriod->SetItemIndex(6);
  Window->SELimitBal->SetValue(1230);
  Window->CBVibroMode->SetItemIndex(1);
  Window->SEVibroSens->SetValue(33);
  Window->SECorrCoef->SetValue(95);
  Window->SERingLevel->SetValue(4);
  Window->CBSleepMode->SetItemIndex(0);
  Window->CBSleepModeCloseUp();
  ASSERT_TRUE(Window->GatherParameters());
  auto gathered = Window->ParamList.Lines();
  ASSERT_EQ(gathered.size(), 46u);

  Window->ActWriteExecute();
  ASSERT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_EQ(Written(47).back(), "#S");

  // A fresh window, filled from the unit alone.
  OpenWindow();
  Select("COM3");
  Window->CBManualCorrCoef->SetChecked(true);
  ReadAll();
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Lines(), gathered);
}

TEST_F(Write, StaleInputIsFlushedBeforeTheVersionQuery) {
  StartAndRead();
  // An answer left on the open line: kept, it would be taken for the answer to "#V".
  ASSERT_EQ(Window->Link.OpenPort("COM3"), "");
  Window->Link.SendCommand("#RG01\r");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Mark = Commands(Mark + 1).size();

  Window->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  auto written = Written(45);
  EXPECT_EQ(written.front(), "#V");
  EXPECT_EQ(written.back(), "#S");
}

TEST_F(Write, APastedLineBreakNeverReachesTheUnitAsACommandOfItsOwn) {
  StartAndRead();
  QApplication::clipboard()->setText("ab\r\n#S");
  Window->EdLoginE->selectAll();
  QTest::keyClick(Window->EdLoginE, Qt::Key_V, Qt::ControlModifier);

  Window->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  auto written = Written(45);
  EXPECT_EQ(Value(written, "G01"), "ab");
  EXPECT_EQ(std::count(written.begin(), written.end(), "#S"), 1);
  EXPECT_EQ(written.back(), "#S");
  EXPECT_EQ(written.size(), 45u);
}

TEST_F(Write, AnInvalidFormSendsNothing) {
  StartUnit();
  ASSERT_EQ(Window->Link.OpenPort("COM3"), "");
  Window->SBGPS->setChecked(true);  // the monitor holds the port

  Window->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый адрес сервера 1"});
  EXPECT_TRUE(Person.WaitTexts.empty());
  EXPECT_TRUE(Window->SBGPS->isChecked());
  EXPECT_FALSE(PortOpen());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Commands(), std::vector<std::string>{});
}

TEST_F(Write, AValidWriteSwitchesTheMonitorOffAndClosesThePort) {
  StartAndRead();
  ASSERT_EQ(Window->Link.OpenPort("COM3"), "");
  Window->SBGPS->setChecked(true);
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(Window->SBGPS->isChecked());
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, UnsupportedCodesAreSkippedOnYesAndAbortOnNo) {
  StartAndRead({"--error", "M18=2", "--error", "R01=2"});
  Person.Answers = {true, false};
  Window->ActWriteExecute();
  EXPECT_EQ(Questions(),
            (std::vector<std::string>{
                "Запись параметра M18 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?",
                "Запись параметра R01 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?"}));
  EXPECT_EQ(Errors(), std::vector<std::string>{"Операция прервана"});
  auto written = Written();
  EXPECT_EQ(written.back().substr(0, 5), "#WR01");
  EXPECT_NE(Value(written, "M19"), "<not sent>");
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, FailurePathHidesTellsThenCloses) {
  StartAndRead();
  SwapUnit({"--error", "B02=3"});
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимое значение"});
  ASSERT_EQ(Person.AtBoxes.size(), 1u);
  EXPECT_FALSE(Person.AtBoxes[0].WaitShown);
  EXPECT_TRUE(Person.AtBoxes[0].PortOpen);
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Written().back().substr(0, 5), "#WB02");
}

TEST_F(Write, ClockNotSupportedAsksWhetherToGoOn) {
  StartAndRead({"--error", "T=2"});
  Window->CBSetTime->SetChecked(true);
  Window->ActWriteExecute();
  EXPECT_EQ(Questions(), std::vector<std::string>{
                             "Установка времени не поддерживается (возможно следует обновить "
                             "прошивку RAD). Продолжить?"});
  EXPECT_EQ(Person.Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(Person.Boxes[0].Icon, TPerson::TIcon::Stop);
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Written(46).back(), "#S");

  Person.Boxes.clear();
  Person.Answers = {false};
  Mark = Commands().size();
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Операция прервана"});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Written().back().substr(0, 3), "#T ");
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, ClockAnswerWithoutOkIsRejected) {
  StartAndRead({"--reply", "T=#XYZ"});
  Window->CBSetTime->SetChecked(true);
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый ответ от RAD"});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Written().back().substr(0, 3), "#T ");
}

TEST_F(Write, ClockAnswerWithOkInsideIsAccepted) {
  StartAndRead({"--reply", "T=#ABC#OK"});
  Window->CBSetTime->SetChecked(true);
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Written(46).back(), "#S");
}

TEST_F(Write, AVersionThatIsNotANumberEndsTheWrite) {
  StartAndRead();
  SwapUnit({"--firmware", "3.00abc"});
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"'3.00abc' is not a valid floating point value"});
  EXPECT_EQ(Written(), std::vector<std::string>{"#V"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, TheWindowsButtonsReadChangeWriteAndReadBack) {
  StartUnit({"--set", "P03=+70000000003"});
  Window->SetPerson(nullptr);  // the window's own dialogs and wait panel
  std::vector<std::string> boxes;
  QTimer guard;  // a box would wait for a person: note it and close it
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes.push_back(box->text().toStdString());
      box->done(QMessageBox::No);
    }
  });
  guard.start(50);

  Window->BtRead->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "gprs");
  EXPECT_TRUE(Window->MmLog->toPlainText().contains("#V"));
  EXPECT_FALSE(Window->SFWait->isVisible());

  Window->EdLoginE->SetText("changed");
  Window->CBPeriod->SetItemIndex(2);
  Window->BtWrite->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_TRUE(Window->MmLog->toPlainText().contains("#S"));

  Window->EdLoginE->SetText("");
  Window->CBPeriod->SetItemIndex(0);
  Window->BtRead->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "changed");
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 2);
  EXPECT_FALSE(Window->SFWait->isVisible());
}
