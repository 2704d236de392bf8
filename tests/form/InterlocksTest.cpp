// The rules that enable and disable dependent controls, raised the way the user raises them.
#include <QAbstractItemView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/form/ActiveWindowTest.h"

namespace {

class TInterlocksTest : public TActiveWindowTest {
 protected:
  void Choose(TComboBox* list, int index) {  // the user picks an item with the keys
    list->setFocus(Qt::TabFocusReason);
    while (list->ItemIndex() < index) QTest::keyClick(list, Qt::Key_Down);
    while (list->ItemIndex() > index) QTest::keyClick(list, Qt::Key_Up);
  }
  void ChooseFromList(TComboBox* list, int index) {  // opens the list and picks from it
    list->showPopup();
    QTest::keyClick(list->view(), Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list->view(), Qt::Key_Down);
    QTest::keyClick(list->view(), Qt::Key_Return);
    QApplication::processEvents();
    // The offscreen platform does not hand the activation back from a closed list.
    QApplication::setActiveWindow(Window.get());
  }
  bool SleepGroupEnabled() const {
    return Window->SESleep->isEnabled() && Window->CBSleepMsg->isEnabled() &&
           Window->CBSleepKeyb->isEnabled();
  }
  bool SleepGroupDisabled() const {
    return !Window->SESleep->isEnabled() && !Window->CBSleepMsg->isEnabled() &&
           !Window->CBSleepKeyb->isEnabled();
  }
};

}  // namespace

TEST_F(TInterlocksTest, ShockSensorOffDisablesSensitivityAndBothSensorAlarm) {
  Window->CBBothAlarm->SetItemIndex(2);
  Choose(Window->CBVibroMode, 0);
  EXPECT_FALSE(Window->SEVibroSens->isEnabled());
  EXPECT_FALSE(Window->CBBothAlarm->isEnabled());
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 0);
  EXPECT_EQ(Window->SEVibroSens->Value(), 50);

  Choose(Window->CBVibroMode, 1);
  EXPECT_TRUE(Window->SEVibroSens->isEnabled());
  EXPECT_TRUE(Window->CBBothAlarm->isEnabled());
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 0);
}

TEST_F(TInterlocksTest, VolumeSensorOffDisablesOnlyTheBothSensorAlarm) {
  Window->CBBothAlarm->SetItemIndex(3);
  Window->CBVibroMode->SetItemIndex(2);
  Choose(Window->CBPIRMode, 0);
  EXPECT_TRUE(Window->SEVibroSens->isEnabled());
  EXPECT_FALSE(Window->CBBothAlarm->isEnabled());
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 0);
}

TEST_F(TInterlocksTest, SensorRuleRunsForTheProgramOnlyWhenCalled) {
  Window->CBVibroMode->SetItemIndex(0);
  EXPECT_TRUE(Window->SEVibroSens->isEnabled());
  Window->CBSensorModeChange();
  EXPECT_FALSE(Window->SEVibroSens->isEnabled());
  // No selection counts as a sensor in use.
  Window->CBVibroMode->SetItemIndex(-1);
  Window->CBPIRMode->SetItemIndex(-1);
  Window->CBSensorModeChange();
  EXPECT_TRUE(Window->SEVibroSens->isEnabled());
  EXPECT_TRUE(Window->CBBothAlarm->isEnabled());
}

TEST_F(TInterlocksTest, BothSensorAlarmKeepsItsChoiceOnADisabledPage) {
  Window->CBBothAlarm->SetItemIndex(2);
  Window->TSUser->setEnabled(false);
  Window->CBSensorModeChange();
  EXPECT_EQ(Window->CBBothAlarm->ItemIndex(), 2);
  Window->TSUser->setEnabled(true);
  EXPECT_TRUE(Window->CBBothAlarm->isEnabled());
}

TEST_F(TInterlocksTest, SleepingModeFromTheListEnablesItsGroupAndBackClearsIt) {
  Window->CBSleepMsg->SetChecked(true);
  Window->SESleep->SetValue(48);
  ChooseFromList(Window->CBSleepMode, 1);
  EXPECT_TRUE(SleepGroupEnabled());
  EXPECT_TRUE(Window->CBSleepMsg->Checked());
  Window->CBSleepKeyb->SetChecked(true);

  ChooseFromList(Window->CBSleepMode, 0);
  EXPECT_TRUE(SleepGroupDisabled());
  EXPECT_FALSE(Window->CBSleepMsg->Checked());
  EXPECT_FALSE(Window->CBSleepKeyb->Checked());
  EXPECT_EQ(Window->SESleep->Value(), 48);
}

TEST_F(TInterlocksTest, SleepRuleWaitsForTheFocusToLeaveWhenChangedWithKeys) {
  ChooseFromList(Window->CBRingMode, 0);  // closing the other list runs the rule at once
  EXPECT_TRUE(SleepGroupDisabled());
  Choose(Window->CBSleepMode, 1);
  EXPECT_TRUE(SleepGroupDisabled());
  Window->CBGPS->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_TRUE(SleepGroupEnabled());
}

TEST_F(TInterlocksTest, SleepGroupStaysEnabledUntilTheRuleFirstRuns) {
  EXPECT_TRUE(SleepGroupEnabled());
  Window->CBSleepMsg->SetChecked(true);
  EXPECT_TRUE(Window->CBSleepMsg->Checked());
  // Leaving the ring list runs the rule as well.
  Window->CBRingMode->setFocus(Qt::TabFocusReason);
  Window->CBGPS->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_TRUE(SleepGroupDisabled());
  EXPECT_FALSE(Window->CBSleepMsg->Checked());
  EXPECT_TRUE(Window->SERingDuration->isEnabled());
  EXPECT_TRUE(Window->SERingLevel->isEnabled());
}

TEST_F(TInterlocksTest, NotUsedServerDisablesItsOwnEditOnlyAndKeepsTheText) {
  Window->EdServer2->SetText("192.0.2.10");
  Window->CBServer2->SetChecked(true);
  EXPECT_TRUE(Window->EdServer1->isEnabled());
  EXPECT_FALSE(Window->EdServer2->isEnabled());
  EXPECT_TRUE(Window->EdServer3->isEnabled());
  EXPECT_EQ(Window->EdServer2->Text(), "192.0.2.10");
  Window->CBServer2->SetChecked(false);
  EXPECT_TRUE(Window->EdServer2->isEnabled());
}

TEST_F(TInterlocksTest, CalibrationCoefficientFollowsTheOptionOnlyFromTheNextStart) {
  EXPECT_FALSE(Window->SECorrCoef->isEnabled());
  QTimer::singleShot(0, Window.get(), [this] {
    Window->CBManualCorrCoef->SetChecked(true);
    Window->BtOK->click();
  });
  Window->ActOptionExecute();
  EXPECT_TRUE(Window->CBManualCorrCoef->Checked());
  EXPECT_FALSE(Window->SECorrCoef->isEnabled());

  Window.reset();
  auto next = NewWindow();
  next->show();
  EXPECT_TRUE(next->SECorrCoef->isEnabled());
}
