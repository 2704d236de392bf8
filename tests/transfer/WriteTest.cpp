// Writing the configuration to a simulated unit over a pseudo-terminal.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <ctime>
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
    Form->CBSetTime->SetChecked(false);
    Form->CBManualCorrCoef->SetChecked(false);
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
};

class WriteGates : public TWriteTest, public ::testing::WithParamInterface<TGateCase> {};

}  // namespace

using Write = TWriteTest;

TEST_P(WriteGates, FirmwareAndOptionsDecideWhatIsSentInWriteOrder) {
  const auto& c = GetParam();
  StartAndRead({"--firmware", c.Firmware});
  Form->CBManualCorrCoef->SetChecked(c.ManualCorrCoef);
  Form->CBSetTime->SetChecked(true);

  std::string before = Now();
  Form->ActWriteExecute();
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
        TGateCase{"1.99", true, Union({From200, From207, From208, From300}), 30, true},
        TGateCase{"2.07", true, Union({From208, From300}), 38, true},
        TGateCase{"2.08", false, Union({From300, {"M05"}}), 40, true},
        TGateCase{"3.00", false, {"M05"}, 43, true}, TGateCase{"3.00", true, {}, 44, true},
        TGateCase{"3.99", true, {}, 44, true}, TGateCase{"4.00", true, {}, 44, false}));

TEST_F(Write, ValuesAreConvertedForTheUnit) {
  StartAndRead({"--firmware", "1.99"});
  Form->EdServer1->SetText("10.0.0.200");
  Form->CBServer3->SetChecked(true);
  Form->CBGPS->SetItemIndex(2);
  Form->CBPIRMode->SetItemIndex(0);
  Form->SELimitBal->SetValue(125);

  Form->ActWriteExecute();

  auto written = Written(31);
  EXPECT_EQ(Errors(), std::vector<std::string>{});
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
  Form->CBManualCorrCoef->SetChecked(true);
  Form->CBSetTime->SetChecked(true);
  Form->EdLoginE->SetText("новый");
  Form->EdServer2->SetText("10.0.0.200");
  Form->CBServer1->SetChecked(true);
  Form->CBPeriod->SetItemIndex(6);
  Form->SELimitBal->SetValue(1230);
  Form->CBVibroMode->SetItemIndex(1);
  Form->SEVibroSens->SetValue(33);
  Form->SECorrCoef->SetValue(95);
  Form->SERingLevel->SetValue(4);
  Form->CBSleepMode->SetItemIndex(0);
  Form->CBSleepModeCloseUp();
  ASSERT_TRUE(Form->GatherParameters());
  auto gathered = Form->ParamList.Lines();
  ASSERT_EQ(gathered.size(), 46u);

  Form->ActWriteExecute();
  ASSERT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_EQ(Written(47).back(), "#S");

  // A fresh window, filled from the unit alone.
  Form->SetPerson(nullptr);
  Form.reset();
  Form = std::make_unique<TFmMain>();
  Person.Form = Form.get();
  Form->SetPerson(&Person);
  Form->CBPort->SetItemIndex(2);
  Form->CBManualCorrCoef->SetChecked(true);
  ReadAll();
  ASSERT_TRUE(Form->GatherParameters());
  EXPECT_EQ(Form->ParamList.Lines(), gathered);
}

TEST_F(Write, AnInvalidFormSendsNothing) {
  StartUnit();
  ASSERT_EQ(Form->Link.OpenPort("COM3"), "");
  Form->SBGPS->setChecked(true);  // the monitor holds the port

  Form->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый адрес сервера 1"});
  EXPECT_TRUE(Person.WaitTexts.empty());
  EXPECT_TRUE(Form->SBGPS->isChecked());
  EXPECT_FALSE(PortOpen());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Commands(), std::vector<std::string>{});
}

TEST_F(Write, AValidWriteSwitchesTheMonitorOffAndClosesThePort) {
  StartAndRead();
  ASSERT_EQ(Form->Link.OpenPort("COM3"), "");
  Form->SBGPS->setChecked(true);
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(Form->SBGPS->isChecked());
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, UnsupportedCodesAreSkippedOnYesAndAbortOnNo) {
  StartAndRead({"--error", "M18=2", "--error", "R01=2"});
  Person.Answers = {true, false};
  Form->ActWriteExecute();
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
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимое значение"});
  ASSERT_EQ(Person.AtBoxes.size(), 1u);
  EXPECT_FALSE(Person.AtBoxes[0].WaitShown);
  EXPECT_TRUE(Person.AtBoxes[0].PortOpen);
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Written().back().substr(0, 5), "#WB02");
}

TEST_F(Write, ClockNotSupportedAsksWhetherToGoOn) {
  StartAndRead({"--error", "T=2"});
  Form->CBSetTime->SetChecked(true);
  Form->ActWriteExecute();
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
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Операция прервана"});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Written().back().substr(0, 3), "#T ");
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, ClockAnswerWithoutOkIsRejected) {
  StartAndRead({"--reply", "T=#XYZ"});
  Form->CBSetTime->SetChecked(true);
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый ответ от RAD"});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Written().back().substr(0, 3), "#T ");
}

TEST_F(Write, ClockAnswerWithOkInsideIsAccepted) {
  StartAndRead({"--reply", "T=#ABC#OK"});
  Form->CBSetTime->SetChecked(true);
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Written(46).back(), "#S");
}

TEST_F(Write, AVersionThatIsNotANumberEndsTheWrite) {
  StartAndRead();
  SwapUnit({"--firmware", "3.00abc"});
  Form->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"'3.00abc' is not a valid floating point value"});
  EXPECT_EQ(Written(), std::vector<std::string>{"#V"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Write, TheWindowsButtonsReadChangeWriteAndReadBack) {
  StartUnit({"--set", "P03=+70000000003"});
  Form->SetPerson(nullptr);  // the window's own dialogs and wait panel
  std::vector<std::string> boxes;
  QTimer guard;  // a box would wait for a person: note it and close it
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes.push_back(box->text().toStdString());
      box->done(QMessageBox::No);
    }
  });
  guard.start(50);

  Form->BtRead->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "gprs");
  EXPECT_TRUE(Form->MmLog->toPlainText().contains("#V"));
  EXPECT_FALSE(Form->SFWait->isVisible());

  Form->EdLoginE->SetText("changed");
  Form->CBPeriod->SetItemIndex(2);
  Form->BtWrite->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_TRUE(Form->MmLog->toPlainText().contains("#S"));

  Form->EdLoginE->SetText("");
  Form->CBPeriod->SetItemIndex(0);
  Form->BtRead->click();
  EXPECT_EQ(boxes, std::vector<std::string>{});
  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "changed");
  EXPECT_EQ(Form->CBPeriod->ItemIndex(), 2);
  EXPECT_FALSE(Form->SFWait->isVisible());
}
