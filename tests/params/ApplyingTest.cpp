#include "tests/params/FormFixture.h"

namespace {

using TApplying = TFormTest;

const char kWorkedExample[] =
    "AddrServer1=167903424\r\n"
    "AddrServer2=-939524086\r\n"
    "AddrServer3=0\r\n"
    "Period=4\r\n"
    "VibroMode=178\r\n"
    "SleepMode=5\r\n"
    "SleepTime=12\r\n"
    "LowBatMsg=1\r\n"
    "EnSMS1=1\r\n"
    "PhoneSMS1=1234567\r\n";

}  // namespace

TEST_F(TApplying, TheShortHandWrittenFileSetsEveryControlAndSavesAsFortySixLines) {
  // Controls that the file does not name must take their defaults, not keep these.
  Window->EdLoginE->SetText("old");
  Window->CBLoadEfemerids->SetChecked(false);
  Window->CBPhone2->SetItemIndex(3);
  Window->EdPhone3->SetText("999");
  Window->CBGPS->SetItemIndex(3);
  auto name = Path("Vestra.ini");
  PutFile(name, kWorkedExample);
  Window->ApplyParameters(name);
  EXPECT_TRUE(Person.Boxes.empty());

  auto& f = *Window;
  EXPECT_EQ(f.EdServer1->Text(), "192.0.2.10");
  EXPECT_EQ(f.EdServer2->Text(), "10.0.0.200");
  EXPECT_EQ(f.EdServer3->Text(), "0.0.0.0");
  EXPECT_FALSE(f.CBServer1->Checked());
  EXPECT_FALSE(f.CBServer2->Checked());
  EXPECT_TRUE(f.CBServer3->Checked());
  EXPECT_TRUE(f.EdServer1->isEnabled());
  EXPECT_FALSE(f.EdServer3->isEnabled());  // the server rule ran through the box's click
  EXPECT_EQ(f.CBPeriod->SelectedText(), "Каждые 10мин");
  EXPECT_EQ(f.CBVibroMode->SelectedText(), "Двойной удар");
  EXPECT_EQ(f.SEVibroSens->Value(), 50);
  EXPECT_EQ(f.CBSleepMode->SelectedText(), "RAD в режиме закладки");
  EXPECT_FALSE(f.CBSleepMsg->Checked());
  EXPECT_TRUE(f.CBSleepKeyb->Checked());
  EXPECT_EQ(f.SESleep->Value(), 12);
  EXPECT_TRUE(f.CBLowBatMsg->Checked());
  EXPECT_EQ(f.CBPhone1->SelectedText(), "Текст");
  EXPECT_EQ(f.EdPhone1->Text(), "1234567");
  for (auto* phone : {f.CBPhone2, f.CBPhone3}) EXPECT_EQ(phone->SelectedText(), "Нет");
  for (auto* phone : {f.EdPhone2, f.EdPhone3}) EXPECT_EQ(phone->Text(), "");
  for (auto* edit : {f.EdLoginE, f.EdPwdE, f.EdAPNE, f.EdLoginI, f.EdPwdI, f.EdAPNI, f.EdRqBalance,
                     f.EdPINE, f.EdPINI, f.EdSMSPwd, f.EdOpenPwd})
    EXPECT_EQ(edit->Text(), "") << edit->objectName().toStdString();
  EXPECT_TRUE(f.CBLoadEfemerids->Checked());
  EXPECT_TRUE(f.CBUseAGPS->Checked());
  EXPECT_EQ(f.CBSelSIMMode->ItemIndex(), 2);
  EXPECT_EQ(f.SERingDuration->Value(), 2);
  EXPECT_EQ(f.SERingLevel->Value(), 11);
  EXPECT_EQ(f.SEDelay->Value(), 1);
  EXPECT_EQ(f.SECloseDelay->Value(), 15);
  EXPECT_EQ(f.CBGPS->ItemIndex(), 0);
  EXPECT_EQ(f.CBControlSMS->ItemIndex(), 0);
  EXPECT_EQ(f.SELimitBal->Value(), 0);
  EXPECT_EQ(f.ParamList.Count(), 10u);

  ASSERT_TRUE(f.GatherParameters()) << (Person.Boxes.empty() ? "" : Person.Boxes[0].Text);
  auto saved = Path("Saved.ini");
  TDialogHand hand(f.SaveDialog, TDialogHand::Accept(saved));
  f.ActSaveExecute();
  EXPECT_EQ(hand.Shown, 1);
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_EQ(FileBytes(saved),
            "AddrServer1=167903424\r\nAddrServer2=-939524086\r\nAddrServer3=0\r\n"
            "GPRSUser=\r\nGPRSPwd=\r\nGPRSSite=\r\nGPRSUserInt=\r\nGPRSPwdInt=\r\nGPRSSiteInt=\r\n"
            "BalanceRq=\r\nBalanceLimit=0\r\nBalancePeriod=0\r\nDelayAlarm=1\r\nCloseDelay=15\r\n"
            "PIRMode=0\r\nBothAlarm=0\r\nVibroMode=178\r\nChangeCoord=0\r\nLoadEfemerids=1\r\n"
            "UseAGPS=1\r\nSelSIMMode=2\r\nTimeZone=0\r\nUseGPS=0\r\nUseCellInfo=0\r\n"
            "SendLinkFault=0\r\nOpenCloseSMS=0\r\nSleepMode=5\r\nSleepTime=12\r\nLowBatMsg=1\r\n"
            "RingMode=0\r\nRingDuration=2\r\nRingLevel=11\r\nPeriod=4\r\nEnSMS1=1\r\n"
            "PhoneSMS1=1234567\r\nEnSMS2=0\r\nPhoneSMS2=\r\nEnSMS3=0\r\nPhoneSMS3=\r\n"
            "Brightness=0\r\nCorrCoef=100\r\nPINCodeInt=\r\nPINCode=\r\nSMSPwd=\r\nOpenPwd=\r\n"
            "ControlSMS=0\r\n");
}

TEST_F(TApplying, AnEmptyFileGivesEveryDefault) {
  MakeValid();
  Window->EdRqBalance->SetText("*100#");
  auto name = Path("empty.ini");
  PutFile(name, "");
  Window->ApplyParameters(name);
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_EQ(Window->ParamList.Count(), 0u);
  EXPECT_EQ(Window->EdRqBalance->Text(), "");
  for (auto* box : {Window->CBServer1, Window->CBServer2, Window->CBServer3})
    EXPECT_TRUE(box->Checked());
  for (auto* edit : {Window->EdServer1, Window->EdServer2, Window->EdServer3}) {
    EXPECT_EQ(edit->Text(), "0.0.0.0");
    EXPECT_FALSE(edit->isEnabled());
  }
  EXPECT_TRUE(Window->CBLoadEfemerids->Checked());
  EXPECT_TRUE(Window->CBUseAGPS->Checked());
  EXPECT_EQ(Window->CBSelSIMMode->ItemIndex(), 2);
  EXPECT_EQ(Window->SESleep->Value(), 24);
  EXPECT_EQ(Window->SERingDuration->Value(), 2);
  EXPECT_EQ(Window->SERingLevel->Value(), 11);
  EXPECT_EQ(Window->CBVibroMode->ItemIndex(), 0);
  EXPECT_EQ(Window->SEVibroSens->Value(), 50);
  EXPECT_FALSE(Window->SEVibroSens->isEnabled());
}

TEST_F(TApplying, ValuesOutsideListsAndRangesAndBadNumbersAreNeverRejected) {
  auto name = Path("odd.ini");
  PutFile(name,
          "Period=9\nCloseDelay=300\rTimeZone=-20\r\nSleepTime=abc\nRingLevel=\n"
          "SelSIMMode=2x\nBalanceLimit=2147483647\nDelayAlarm= +7\nAddrServer1=x\n"
          "period=1\nFoo=bar\n\nUseGPS");
  Window->ApplyParameters(name);
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), -1);
  EXPECT_EQ(Window->SECloseDelay->Value(), 250);
  EXPECT_EQ(Window->SETimeZone->Value(), -12);
  EXPECT_EQ(Window->SESleep->Value(), 24);
  EXPECT_EQ(Window->SERingLevel->Value(), 11);
  EXPECT_EQ(Window->CBSelSIMMode->ItemIndex(), 2);
  EXPECT_EQ(Window->SELimitBal->Value(), 2500);
  EXPECT_EQ(Window->SEDelay->Value(), 7);
  EXPECT_TRUE(Window->CBServer1->Checked());
  EXPECT_EQ(Window->CBGPS->ItemIndex(), 0);
  EXPECT_EQ(Window->ParamList.Count(), 13u);

  // The missing period is caught by the next save, before any dialog.
  MakeValid();
  TDialogHand hand(Window->SaveDialog, TDialogHand::Cancel);
  Window->ActSaveExecute();
  EXPECT_EQ(TakeError(), "Ошибка|Не выбран период оповещения");
  EXPECT_EQ(hand.Shown, 0);
}

TEST_F(TApplying, KeysInAnotherLetterCaseAreAppliedAndTheFirstLineWins) {
  auto name = Path("case.ini");
  PutFile(name, "period=3\r\nPERIOD=5\r\nGprsSite=apn\r\nADDRSERVER2=167903424\r\n");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 3);
  EXPECT_EQ(Window->EdAPNE->Text(), "apn");
  EXPECT_EQ(Window->EdServer2->Text(), "192.0.2.10");
  EXPECT_TRUE(Window->EdServer2->isEnabled());
}

TEST_F(TApplying, TheSensorRuleRunsAfterBothAlarmHasBeenApplied) {
  auto name = Path("sensors.ini");
  PutFile(name, "VibroMode=50\r\nPIRMode=0\r\nBothAlarm=2\r\n");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 0);
  EXPECT_FALSE(Window->CBBothAlarm->isEnabled());
  EXPECT_TRUE(Window->SEVibroSens->isEnabled());
  EXPECT_EQ(Window->CBVibroMode->ItemIndex(), 1);

  PutFile(name, "VibroMode=50\r\nPIRMode=1\r\nBothAlarm=2\r\n");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 2);
  EXPECT_TRUE(Window->CBBothAlarm->isEnabled());
}

TEST_F(TApplying, SleepModeSixClearsBothBoxes) {
  auto name = Path("sleep.ini");
  PutFile(name, "SleepMode=6\r\n");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->CBSleepMode->SelectedText(), "RAD всегда включена");
  EXPECT_FALSE(Window->CBSleepMsg->Checked());
  EXPECT_FALSE(Window->CBSleepKeyb->Checked());
  EXPECT_FALSE(Window->CBSleepMsg->isEnabled());
  MakeValid();
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Value("SleepMode"), "0");
}

TEST_F(TApplying, CorrCoefIsTakenOnlyWhileManualCalibrationIsChecked) {
  auto name = Path("corr.ini");
  PutFile(name, "CorrCoef=95\r\n");
  Window->CBManualCorrCoef->SetChecked(false);
  Window->SECorrCoef->SetValue(103);
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->SECorrCoef->Value(), 103);
  Window->CBManualCorrCoef->SetChecked(true);
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->SECorrCoef->Value(), 95);
  PutFile(name, "");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->SECorrCoef->Value(), 90);  // default 0, brought to the lowest value
}

TEST_F(TApplying, AFileThatCannotBeReadChangesNothingAndIsReported) {
  MakeValid();
  Window->ParamList.Append("Kept=1");
  auto before = Snapshot();
  auto name = Path("missing.ini");
  Window->ApplyParameters(name);
  auto error = TakeError();
  EXPECT_EQ(error.rfind("Ошибка|Не удалось открыть файл " + name.toStdString(), 0), 0u) << error;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Window->ParamList.Lines(), std::vector<std::string>{"Kept=1"});
}

TEST_F(TApplying, ForeignLinesStayInTheSetButAreNotSavedAgain) {
  auto name = Path("foreign.ini");
  PutFile(name, std::string(kWorkedExample) + "Foreign=1\r\n\r\nJunk\r\n");
  Window->ApplyParameters(name);
  EXPECT_EQ(Window->ParamList.Value("Foreign"), "1");
  auto saved = Path("again.ini");
  TDialogHand hand(Window->SaveDialog, TDialogHand::Accept(saved));
  Window->ActSaveExecute();
  auto bytes = FileBytes(saved);
  EXPECT_EQ(bytes.find("Foreign"), std::string::npos);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 46);
}
