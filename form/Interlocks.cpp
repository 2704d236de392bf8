// The rules that keep mode-dependent controls enabled or disabled. Each re-evaluates its whole
// group whichever control raised it, so it may also be called with no sender.
#include "form/FmMain.h"

void TFmMain::UpdateCorrCoefEnabled() { SECorrCoef->setEnabled(CBManualCorrCoef->Checked()); }

void TFmMain::CBServerClick(QObject*) {
  EdServer1->setEnabled(!CBServer1->Checked());
  EdServer2->setEnabled(!CBServer2->Checked());
  EdServer3->setEnabled(!CBServer3->Checked());
}

void TFmMain::CBSensorModeChange(QObject*) {
  const bool vibro = CBVibroMode->ItemIndex() != 0;
  SEVibroSens->setEnabled(vibro);
  // Decided here, not by isEnabled(), which also reads false under a disabled group or page.
  const bool bothSensors = vibro && CBPIRMode->ItemIndex() != 0;
  CBBothAlarm->setEnabled(bothSensors);
  if (!bothSensors) CBBothAlarm->SetItemIndex(0);
}

void TFmMain::CBSleepModeCloseUp(QObject*) {
  const bool sleeping = CBSleepMode->ItemIndex() > 0;
  SESleep->setEnabled(sleeping);
  CBSleepMsg->setEnabled(sleeping);
  CBSleepKeyb->setEnabled(sleeping);
  if (!sleeping) {
    CBSleepMsg->SetChecked(false);
    CBSleepKeyb->SetChecked(false);
  }
}

void TFmMain::BindInterlocks() {
  for (TCheckBox* box : {CBServer1, CBServer2, CBServer3})
    connect(box, &TCheckBox::Click, this, [this, box] { CBServerClick(box); });
  for (TComboBox* list : {CBPIRMode, CBVibroMode})
    connect(list, &TComboBox::Change, this, [this, list] { CBSensorModeChange(list); });
  for (TComboBox* list : {CBSleepMode, CBRingMode}) {
    connect(list, &TComboBox::CloseUp, this, [this, list] { CBSleepModeCloseUp(list); });
    connect(list, &TComboBox::Exit, this, [this, list] { CBSleepModeCloseUp(list); });
  }
}
