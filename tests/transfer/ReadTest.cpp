// Reading the configuration from a simulated unit over a pseudo-terminal.
#include <QLabel>

#include "tests/support/Orders.h"
#include "tests/transfer/TransferFixture.h"

namespace {

std::vector<std::string> ReadCommands(const std::vector<std::string>& codes) {
  std::vector<std::string> commands{"#V"};
  for (const auto& code : codes) commands.push_back("#R" + code);
  return commands;
}

struct TGateCase {
  std::string Firmware, SensorBits;
  std::set<std::string> Skipped;
  std::size_t Reads;
};

class ReadGates : public TTransferTest, public ::testing::WithParamInterface<TGateCase> {};

}  // namespace

using Read = TTransferTest;

TEST_P(ReadGates, FirmwareDecidesWhichCodesAreAskedForInReadOrder) {
  const auto& c = GetParam();
  StartUnit({"--firmware", c.Firmware, "--set", "M10=" + c.SensorBits});
  Form->EdLoginI->SetText("kept");
  Form->SERingLevel->SetValue(7);

  Form->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  auto expected = ReadCommands(Without(FullReadOrder, c.Skipped));
  EXPECT_EQ(expected.size(), c.Reads + 1);
  EXPECT_EQ(Commands(), expected);
  // Codes that were not read leave their controls alone.
  EXPECT_EQ(Utf8(Form->EdLoginI->Text()), c.Skipped.count("G11") ? "kept" : "user");
  EXPECT_EQ(Form->SERingLevel->Value(), c.Skipped.count("R03") ? 7 : 11);
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, ReadGates,
    ::testing::Values(TGateCase{"1.99", "1", Union({From200, From207, From208, From300, {"M11"}}),
                                29},
                      TGateCase{"1.99", "2", Union({From200, From207, From208, From300}), 30},
                      TGateCase{"2.065", "3", Union({From207, From208, From300}), 37},
                      TGateCase{"2.07", "3", Union({From208, From300}), 38},
                      TGateCase{"2.08", "0", Union({From300, {"M11"}}), 40},
                      TGateCase{"3.00", "3", {}, 44}, TGateCase{"4.00", "2", {}, 44}));

TEST_F(Read, FillsEveryControlFromTheUnit) {
  StartUnit({"--set", "M14=2"});
  Form->MmLog->setPlainText("old exchange");

  Form->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(Form->MmLog->toPlainText().contains("old exchange"));
  EXPECT_EQ(Person.WaitTexts, std::vector<std::string>{"Чтение параметров Вестра..."});
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Person.VersionCaption, "Версия 3.00");

  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "gprs");
  EXPECT_EQ(Utf8(Form->EdAPNE->Text()), "internet.example");
  EXPECT_EQ(Utf8(Form->EdPINE->Text()), "0000");
  EXPECT_EQ(Utf8(Form->EdPwdI->Text()), "secret");
  EXPECT_EQ(Utf8(Form->EdPINI->Text()), "1111");
  EXPECT_EQ(Form->CBPhone1->ItemIndex(), 1);
  EXPECT_EQ(Form->CBPhone2->ItemIndex(), 0);
  EXPECT_EQ(Form->CBPhone3->ItemIndex(), 2);
  EXPECT_EQ(Utf8(Form->EdPhone1->Text()), "+70000000001");
  EXPECT_EQ(Utf8(Form->EdPhone3->Text()), "+70000000003");
  EXPECT_EQ(Form->SELimitBal->Value(), 250);  // the unit counts in tens
  EXPECT_EQ(Form->SEPeriodBal->Value(), 24);
  EXPECT_EQ(Utf8(Form->EdRqBalance->Text()), "*100#");
  EXPECT_EQ(Form->SETimeZone->Value(), 3);
  EXPECT_EQ(Form->CBPeriod->ItemIndex(), 4);
  EXPECT_EQ(Form->SECloseDelay->Value(), 30);
  EXPECT_EQ(Form->CBPIRMode->ItemIndex(), 1);
  EXPECT_EQ(Form->CBVibroMode->ItemIndex(), 2);  // 178: double hit at 50
  EXPECT_EQ(Form->SEVibroSens->Value(), 50);
  EXPECT_EQ(Form->CBBothAlarm->ItemIndex(), 2);  // both sensors on: survives the sensor rule
  EXPECT_EQ(Form->CBGPS->ItemIndex(), 3);
  EXPECT_TRUE(Form->CBSendLinkFault->Checked());
  EXPECT_EQ(Form->SECorrCoef->Value(), 101);
  EXPECT_EQ(Form->CBControlSMS->ItemIndex(), 1);
  EXPECT_EQ(Utf8(Form->EdOpenPwd->Text()), "4321");
  EXPECT_TRUE(Form->CBLoadEfemerids->Checked());
  EXPECT_FALSE(Form->CBUseAGPS->Checked());
  EXPECT_EQ(Form->CBSelSIMMode->ItemIndex(), 2);
  EXPECT_TRUE(Form->CBOpClsSMS->Checked());
  EXPECT_EQ(Form->CBSleepMode->ItemIndex(), 1);
  EXPECT_TRUE(Form->CBSleepMsg->Checked());
  EXPECT_FALSE(Form->CBSleepKeyb->Checked());
  EXPECT_EQ(Form->SESleep->Value(), 24);
  EXPECT_EQ(Form->CBRingMode->ItemIndex(), 1);
  EXPECT_EQ(Form->SERingDuration->Value(), 2);
  EXPECT_EQ(Utf8(Form->EdServer1->Text()), "192.0.2.10");
  EXPECT_FALSE(Form->CBServer1->Checked());
  EXPECT_EQ(Utf8(Form->EdServer2->Text()), "198.51.100.20");
  EXPECT_EQ(Utf8(Form->EdServer3->Text()), "0.0.0.0");
  EXPECT_TRUE(Form->CBServer3->Checked());
}

TEST_F(Read, PhoneTypesTakeOneDigitEach) {
  struct TCase {
    std::string Answer;
    int Types[3];
  };
  for (const TCase& c : {TCase{"1,0,2", {1, 0, 2}}, TCase{"102", {1, 0, 2}},
                         TCase{" 2 , 1 , 0 ", {2, 1, 0}}, TCase{"1,0,2,3", {1, 0, 2}}}) {
    SCOPED_TRACE(c.Answer);
    Person.Boxes.clear();
    StartUnit({"--set", "E01=" + c.Answer});
    Form->ActReadExecute();
    EXPECT_EQ(Errors(), std::vector<std::string>{});
    EXPECT_EQ(Form->CBPhone1->ItemIndex(), c.Types[0]);
    EXPECT_EQ(Form->CBPhone2->ItemIndex(), c.Types[1]);
    EXPECT_EQ(Form->CBPhone3->ItemIndex(), c.Types[2]);
  }
}

TEST_F(Read, TooFewPhoneTypesStopTheReadKeepingWhatCameBefore) {
  StartUnit({"--set", "E01=3,4"});
  Form->EdPhone1->SetText("before");
  Form->SEPeriodBal->SetValue(99);

  Form->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{"Неверный ответ RAD"});
  EXPECT_EQ(Person.Boxes.back().Caption, "Ошибка");
  EXPECT_EQ(Person.Boxes.back().Icon, TPerson::TIcon::Stop);
  EXPECT_EQ(Form->CBPhone1->ItemIndex(), 3);
  EXPECT_EQ(Form->CBPhone2->ItemIndex(), 4);
  EXPECT_EQ(Form->CBPhone3->ItemIndex(), -1);
  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "gprs");  // read before
  EXPECT_EQ(Utf8(Form->EdPhone1->Text()), "before");
  EXPECT_EQ(Form->SEPeriodBal->Value(), 99);
  EXPECT_EQ(Commands().back(), "#RE01");
  // The failure path closes, hides, then tells.
  ASSERT_EQ(Person.AtBoxes.size(), 1u);
  EXPECT_FALSE(Person.AtBoxes[0].PortOpen);
  EXPECT_FALSE(Person.AtBoxes[0].WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, UnsupportedCodesTakeTheirDefaultsWhenTheUserGoesOn) {
  StartUnit({"--error", "R03=2", "--error", "G05=2", "--error", "G01=2"});
  Form->EdLoginE->SetText("old");
  Form->SERingLevel->SetValue(3);
  Form->CBSelSIMMode->SetItemIndex(3);

  Form->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Questions(),
            (std::vector<std::string>{
                "Чтение параметра G01 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?",
                "Чтение параметра G05 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?",
                "Чтение параметра R03 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?"}));
  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "");
  EXPECT_EQ(Form->SERingLevel->Value(), 11);
  EXPECT_EQ(Form->CBSelSIMMode->ItemIndex(), 1);
  EXPECT_EQ(Commands().size(), 45u);
}

TEST_F(Read, UnsupportedPhoneTypesEndTheReadEvenWhenTheUserGoesOn) {
  StartUnit({"--error", "E01=2"});
  Form->ActReadExecute();
  EXPECT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Неверный ответ RAD"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, DecliningAnUnsupportedCodeAbortsAndClosesThePort) {
  StartUnit({"--error", "M18=2"});
  Person.Answers = {false};
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Операция прервана"});
  EXPECT_EQ(Commands().back(), "#RM18");
  EXPECT_FALSE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, NumbersAreConvertedForTheirControls) {
  StartUnit({"--set", "B01=2147483647", "--set", "M04=255", "--set", "R02=x", "--set", "M09=-5",
             "--set", "M02=junk", "--set", "S02=10,0,0,200"});
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Form->SELimitBal->Value(), 2500);   // ten times, then held in range
  EXPECT_EQ(Form->CBGPS->ItemIndex(), 3);       // capped at the last item
  EXPECT_EQ(Form->SERingDuration->Value(), 2);  // its own default
  EXPECT_TRUE(Form->CBSendLinkFault->Checked());
  EXPECT_EQ(Form->CBPeriod->ItemIndex(), 0);
  EXPECT_EQ(Utf8(Form->EdServer2->Text()), "10.0.0.200");
  EXPECT_FALSE(Form->CBServer2->Checked());
}

TEST_F(Read, ServersThatDoNotPackAreMarkedUnused) {
  StartUnit({"--set", "S01=0,0,0,0", "--set", "S02=192,0,2", "--set", "S03=1,2,3,4"});
  Form->CBServer3->SetChecked(true);
  Form->ActReadExecute();
  EXPECT_EQ(Utf8(Form->EdServer1->Text()), "0.0.0.0");
  EXPECT_TRUE(Form->CBServer1->Checked());
  EXPECT_EQ(Utf8(Form->EdServer2->Text()), "192.0.2");
  EXPECT_TRUE(Form->CBServer2->Checked());
  EXPECT_EQ(Utf8(Form->EdServer3->Text()), "1.2.3.4");
  EXPECT_FALSE(Form->CBServer3->Checked());
}

TEST_F(Read, SensorBitsDecideWhetherTheVibrationCodeIsAsked) {
  struct TCase {
    int Bits, Pir, Vibro;
    bool AsksVibro, BothAlarmKept;
  };
  for (const TCase& c : {TCase{0, 0, 0, false, false}, TCase{1, 1, 0, false, false},
                         TCase{2, 0, 1, true, false}, TCase{3, 1, 1, true, true}}) {
    SCOPED_TRACE(c.Bits);
    StartUnit({"--set", "M10=" + std::to_string(c.Bits), "--set", "M11=20", "--set", "M14=3"});
    Form->CBVibroMode->SetItemIndex(2);
    Form->SEVibroSens->SetValue(77);
    Form->ActReadExecute();
    auto commands = Commands();
    bool asked = std::find(commands.begin(), commands.end(), "#RM11") != commands.end();
    EXPECT_EQ(asked, c.AsksVibro);
    EXPECT_EQ(Form->CBPIRMode->ItemIndex(), c.Pir);
    EXPECT_EQ(Form->CBVibroMode->ItemIndex(), c.Vibro);
    EXPECT_EQ(Form->SEVibroSens->Value(), c.AsksVibro ? 20 : 50);
    EXPECT_EQ(Form->CBBothAlarm->ItemIndex(), c.BothAlarmKept ? 3 : 0);
    EXPECT_EQ(Form->CBBothAlarm->isEnabled(), c.BothAlarmKept);
  }
}

TEST_F(Read, NoUnitOnThePortChangesNothing) {
  StartUnit({"--silent"});
  Form->EdLoginE->SetText("mine");
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Нет ответа от RAD"});
  EXPECT_EQ(Utf8(Form->EdLoginE->Text()), "mine");
  EXPECT_EQ(Form->CBPhone1->ItemIndex(), -1);
  EXPECT_FALSE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, AVersionThatIsNotANumberEndsTheRead) {
  StartUnit({"--firmware", "abc"});
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"'abc' is not a valid floating point value"});
  EXPECT_EQ(Commands(), std::vector<std::string>{"#V"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, WithTheMonitorOnNothingIsDroppedAndThePortStaysOpen) {
  StartUnit();
  // A stale answer waiting on the line: flushed, it is harmless; kept, it answers "#V".
  auto stale = [&] {
    ASSERT_EQ(Form->Link.OpenPort("COM3"), "");
    Form->Link.SendCommand("#RG01\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  stale();
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(PortOpen());

  stale();
  Form->SBGPS->setChecked(true);
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый ответ от RAD"});
  EXPECT_FALSE(PortOpen());  // a failed read closes it whatever the monitor
  EXPECT_TRUE(Form->SBGPS->isChecked());

  Person.Boxes.clear();
  Form->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_TRUE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, WithoutAPortTheOpeningErrorIsShown) {
  Form->CBPort->SetItemIndex(-1);
  Form->ActReadExecute();
  ASSERT_EQ(Person.Boxes.size(), 1u);
  const auto& box = Person.Boxes[0];
  EXPECT_EQ(box.Text.rfind(": ", 0), 0u) << box.Text;
  EXPECT_GT(box.Text.size(), 2u);
  EXPECT_EQ(box.Caption, "Ошибка");
  EXPECT_EQ(box.Icon, TPerson::TIcon::Stop);
  EXPECT_FALSE(box.Question);
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_EQ(Person.WaitTexts.size(), 1u);
}
