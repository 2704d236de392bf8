// The interlock rules (params/Interlocks.h) run on the controls' values, whichever control
// raised them, and the result put back into the controls.
#include "params/Interlocks.h"

#include "form/FmMain.h"

void TFmMain::UpdateCorrCoefEnabled() {
  OnControlValues([this](TFormValues& v) { CorrCoefRule(v, CBManualCorrCoef->Checked()); });
}

void TFmMain::CBServerClick(QObject*) { OnControlValues(ServerRule); }

void TFmMain::CBSensorModeChange(QObject*) { OnControlValues(SensorRule); }

void TFmMain::CBSleepModeCloseUp(QObject*) { OnControlValues(SleepRule); }

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
