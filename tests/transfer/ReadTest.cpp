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
  Window->EdLoginI->SetText("kept");
  Window->SERingLevel->SetValue(7);

  Window->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  auto expected = ReadCommands(Without(FullReadOrder, c.Skipped));
  EXPECT_EQ(expected.size(), c.Reads + 1);
  EXPECT_EQ(Commands(), expected);
  // Codes that were not read leave their controls alone.
  EXPECT_EQ(Utf8(Window->EdLoginI->Text()), c.Skipped.count("G11") ? "kept" : "user");
  EXPECT_EQ(Window->SERingLevel->Value(), c.Skipped.count("R03") ? 7 : 11);
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, ReadGates,
    ::testing::Values(TGateCase{"1.99", "1", Union({From200, From207, From208, From300, {"M11"}}),
                                29},
                      TGateCase{"1.99", "2", Union({From200, From207, From208, From300}), 30},
                      TGateCase{"-1.00", "2", Union({From200, From207, From208, From300}), 30},
                      TGateCase{"2.065", "3", Union({From207, From208, From300}), 37},
                      TGateCase{"2.07", "3", Union({From208, From300}), 38},
                      TGateCase{"2.08", "0", Union({From300, {"M11"}}), 40},
                      TGateCase{"3.00", "3", {}, 44}, TGateCase{"4.00", "2", {}, 44}));

TEST_F(Read, FillsEveryControlFromTheUnit) {
  StartUnit({"--set", "M14=2"});
  Window->MmLog->setPlainText("old exchange");

  Window->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(Window->MmLog->toPlainText().contains("old exchange"));
  EXPECT_EQ(Person.WaitTexts, std::vector<std::string>{"Чтение параметров Вестра..."});
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
  EXPECT_EQ(Person.VersionCaption, "Версия 3.00");

  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "gprs");
  EXPECT_EQ(Utf8(Window->EdAPNE->Text()), "internet.example");
  EXPECT_EQ(Utf8(Window->EdPINE->Text()), "0000");
  EXPECT_EQ(Utf8(Window->EdPwdI->Text()), "secret");
  EXPECT_EQ(Utf8(Window->EdPINI->Text()), "1111");
  EXPECT_EQ(Window->CBPhone1->ItemIndex(), 1);
  EXPECT_EQ(Window->CBPhone2->ItemIndex(), 0);
  EXPECT_EQ(Window->CBPhone3->ItemIndex(), 2);
  EXPECT_EQ(Utf8(Window->EdPhone1->Text()), "+70000000001");
  EXPECT_EQ(Utf8(Window->EdPhone3->Text()), "+70000000003");
  EXPECT_EQ(Window->SELimitBal->Value(), 250);  // the unit counts in tens
  EXPECT_EQ(Window->SEPeriodBal->Value(), 24);
  EXPECT_EQ(Utf8(Window->EdRqBalance->Text()), "*100#");
  EXPECT_EQ(Window->SETimeZone->Value(), 3);
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 4);
  EXPECT_EQ(Window->SECloseDelay->Value(), 30);
  EXPECT_EQ(Window->CBPIRMode->ItemIndex(), 1);
  EXPECT_EQ(Window->CBVibroMode->ItemIndex(), 2);  // 178: double hit at 50
  EXPECT_EQ(Window->SEVibroSens->Value(), 50);
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 2);  // both sensors on: survives the sensor rule
  EXPECT_EQ(Window->CBGPS->ItemIndex(), 3);
  EXPECT_TRUE(Window->CBSendLinkFault->Checked());
  EXPECT_EQ(Window->SECorrCoef->Value(), 101);
  EXPECT_EQ(Window->CBControlSMS->ItemIndex(), 1);
  EXPECT_EQ(Utf8(Window->EdOpenPwd->Text()), "4321");
  EXPECT_TRUE(Window->CBLoadEfemerids->Checked());
  EXPECT_FALSE(Window->CBUseAGPS->Checked());
  EXPECT_EQ(Window->CBSelSIMMode->ItemIndex(), 2);
  EXPECT_TRUE(Window->CBOpClsSMS->Checked());
  EXPECT_EQ(Window->CBSleepMode->ItemIndex(), 1);
  EXPECT_TRUE(Window->CBSleepMsg->Checked());
  EXPECT_FALSE(Window->CBSleepKeyb->Checked());
  EXPECT_EQ(Window->SESleep->Value(), 24);
  EXPECT_EQ(Window->CBRingMode->ItemIndex(), 1);
  EXPECT_EQ(Window->SERingDuration->Value(), 2);
  EXPECT_EQ(Utf8(Window->EdServer1->Text()), "192.0.2.10");
  EXPECT_FALSE(Window->CBServer1->Checked());
  EXPECT_EQ(Utf8(Window->EdServer2->Text()), "198.51.100.20");
  EXPECT_EQ(Utf8(Window->EdServer3->Text()), "0.0.0.0");
  EXPECT_TRUE(Window->CBServer3->Checked());
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
    Window->ActReadExecute();
    EXPECT_EQ(Errors(), std::vector<std::string>{});
    EXPECT_EQ(Window->CBPhone1->ItemIndex(), c.Types[0]);
    EXPECT_EQ(Window->CBPhone2->ItemIndex(), c.Types[1]);
    EXPECT_EQ(Window->CBPhone3->ItemIndex(), c.Types[2]);
  }
}

TEST_F(Read, TooFewPhoneTypesStopTheReadKeepingWhatCameBefore) {
  StartUnit({"--set", "E01=3,4"});
  Window->EdPhone1->SetText("before");
  Window->SEPeriodBal->SetValue(99);

  Window->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{"Неверный ответ RAD"});
  EXPECT_EQ(Person.Boxes.back().Caption, "Ошибка");
  EXPECT_EQ(Person.Boxes.back().Icon, TPerson::TIcon::Stop);
  EXPECT_EQ(Window->CBPhone1->ItemIndex(), 3);
  EXPECT_EQ(Window->CBPhone2->ItemIndex(), 4);
  EXPECT_EQ(Window->CBPhone3->ItemIndex(), -1);
  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "gprs");  // read before
  EXPECT_EQ(Utf8(Window->EdPhone1->Text()), "before");
  EXPECT_EQ(Window->SEPeriodBal->Value(), 99);
  EXPECT_EQ(Commands().back(), "#RE01");
  // The failure path closes, hides, then tells.
  ASSERT_EQ(Person.AtBoxes.size(), 1u);
  EXPECT_FALSE(Person.AtBoxes[0].PortOpen);
  EXPECT_FALSE(Person.AtBoxes[0].WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, UnsupportedCodesTakeTheirDefaultsWhenTheUserGoesOn) {
  StartUnit({"--error", "R03=2", "--error", "G05=2", "--error", "G01=2"});
  Window->EdLoginE->SetText("old");
  Window->SERingLevel->SetValue(3);
  Window->CBSelSIMMode->SetItemIndex(3);

  Window->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Questions(),
            (std::vector<std::string>{
                "Чтение параметра G01 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?",
                "Чтение параметра G05 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?",
                "Чтение параметра R03 не поддерживается (возможно следует обновить прошивку RAD). "
                "Продолжить?"}));
  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "");
  EXPECT_EQ(Window->SERingLevel->Value(), 11);
  EXPECT_EQ(Window->CBSelSIMMode->ItemIndex(), 1);
  EXPECT_EQ(Commands().size(), 45u);
}

TEST_F(Read, UnsupportedPhoneTypesEndTheReadEvenWhenTheUserGoesOn) {
  StartUnit({"--error", "E01=2"});
  Window->ActReadExecute();
  EXPECT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Неверный ответ RAD"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, DecliningAnUnsupportedCodeAbortsAndClosesThePort) {
  StartUnit({"--error", "M18=2"});
  Person.Answers = {false};
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Операция прервана"});
  EXPECT_EQ(Commands().back(), "#RM18");
  EXPECT_FALSE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, NumbersAreConvertedForTheirControls) {
  StartUnit({"--set", "B01=2147483647", "--set", "M04=255", "--set", "R02=x", "--set", "M09=-5",
             "--set", "M02=junk", "--set", "S02=10,0,0,200"});
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Window->SELimitBal->Value(), 2500);   // ten times, then held in range
  EXPECT_EQ(Window->CBGPS->ItemIndex(), 3);       // capped at the last item
  EXPECT_EQ(Window->SERingDuration->Value(), 2);  // its own default
  EXPECT_TRUE(Window->CBSendLinkFault->Checked());
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 0);
  EXPECT_EQ(Utf8(Window->EdServer2->Text()), "10.0.0.200");
  EXPECT_FALSE(Window->CBServer2->Checked());
}

TEST_F(Read, ServersThatDoNotPackAreMarkedUnused) {
  StartUnit({"--set", "S01=0,0,0,0", "--set", "S02=192,0,2", "--set", "S03=1,2,3,4"});
  Window->CBServer3->SetChecked(true);
  Window->ActReadExecute();
  EXPECT_EQ(Utf8(Window->EdServer1->Text()), "0.0.0.0");
  EXPECT_TRUE(Window->CBServer1->Checked());
  EXPECT_EQ(Utf8(Window->EdServer2->Text()), "192.0.2");
  EXPECT_TRUE(Window->CBServer2->Checked());
  EXPECT_EQ(Utf8(Window->EdServer3->Text()), "1.2.3.4");
  EXPECT_FALSE(Window->CBServer3->Checked());
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
    Window->CBVibroMode->SetItemIndex(2);
    Window->SEVibroSens->SetValue(77);
    Window->ActReadExecute();
    auto commands = Commands();
    bool asked = std::find(commands.begin(), commands.end(), "#RM11") != commands.end();
    EXPECT_EQ(asked, c.AsksVibro);
    EXPECT_EQ(Window->CBPIRMode->ItemIndex(), c.Pir);
    EXPECT_EQ(Window->CBVibroMode->ItemIndex(), c.Vibro);
    EXPECT_EQ(Window->SEVibroSens->Value(), c.AsksVibro ? 20 : 50);
    EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), c.BothAlarmKept ? 3 : 0);
    EXPECT_EQ(Window->CBBothAlarm->isEnabled(), c.BothAlarmKept);
  }
}

TEST_F(Read, NoUnitOnThePortChangesNothing) {
  StartUnit({"--silent"});
  Window->EdLoginE->SetText("mine");
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Нет ответа от RAD"});
  EXPECT_EQ(Utf8(Window->EdLoginE->Text()), "mine");
  EXPECT_EQ(Window->CBPhone1->ItemIndex(), -1);
  EXPECT_FALSE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, AVersionThatIsNotANumberEndsTheRead) {
  StartUnit({"--firmware", "abc"});
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"'abc' is not a valid floating point value"});
  EXPECT_EQ(Commands(), std::vector<std::string>{"#V"});
  EXPECT_FALSE(PortOpen());
}

TEST_F(Read, WithTheMonitorOnNothingIsDroppedAndThePortStaysOpen) {
  StartUnit();
  // A stale answer waiting on the line: flushed, it is harmless; kept, it answers "#V".
  auto stale = [&] {
    ASSERT_EQ(Window->Link.OpenPort("COM3"), "");
    Window->Link.SendCommand("#RG01\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  stale();
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_FALSE(PortOpen());

  stale();
  Window->SBGPS->setChecked(true);
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый ответ от RAD"});
  EXPECT_FALSE(PortOpen());  // a failed read closes it whatever the monitor
  EXPECT_TRUE(Window->SBGPS->isChecked());
  // The unit's answer to the failed read's "#V" comes while the person reads the error, and the
  // next open drops it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  Person.Boxes.clear();
  Window->ActReadExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_TRUE(PortOpen());
  EXPECT_FALSE(Person.WaitShown);
}

TEST_F(Read, WithoutAPortTheOpeningErrorIsShown) {
  Window->CBPort->SetItemIndex(-1);
  Window->ActReadExecute();
  ASSERT_EQ(Person.Boxes.size(), 1u);
  const auto& box = Person.Boxes[0];
  EXPECT_EQ(box.Text, "Порт не выбран: выберите его в опциях или нажмите «Найти»");
  EXPECT_EQ(box.Caption, "Ошибка");
  EXPECT_EQ(box.Icon, TPerson::TIcon::Stop);
  EXPECT_FALSE(box.Question);
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_EQ(Person.WaitTexts.size(), 1u);
}

TEST_F(Read, AUnitHandlingOneCommandAtATimeFillsTheSameControls) {
  StartUnit();
  Window->ActReadExecute();
  const TFormValues atOnce = Window->ControlValues();
  Window->ApplyParameterLines({});  // every control at its default, so that the read shows
  StartUnit({"--one-at-a-time", "--delay", "30"});

  Window->ActReadExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Window->ControlValues(), atOnce);
}
