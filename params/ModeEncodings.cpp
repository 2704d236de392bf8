#include "form/FmMain.h"

int TFmMain::EncodeVibroMode() const {
  int mode = CBVibroMode->ItemIndex();
  if (mode == 0) return 0;
  return SEVibroSens->Value() + (mode == 2 ? 128 : 0);
}

void TFmMain::DecodeVibroMode(int value) {
  if (value == 0) {
    CBVibroMode->SetItemIndex(0);
    SEVibroSens->SetValue(50);
    return;
  }
  SEVibroSens->SetValue(value & 127);
  CBVibroMode->SetItemIndex((value & 128) != 0 ? 2 : 1);
}

int TFmMain::EncodeSleepMode() const {
  return (CBSleepMode->ItemIndex() > 0 ? 1 : 0) + (CBSleepMsg->Checked() ? 2 : 0) +
         (CBSleepKeyb->Checked() ? 4 : 0);
}

void TFmMain::DecodeSleepMode(int value) {
  CBSleepMode->SetItemIndex(value & 1);
  CBSleepMsg->SetChecked((value & 2) != 0);
  CBSleepKeyb->SetChecked((value & 4) != 0);
  // Without sleeping mode the two boxes mean nothing: the rule clears and disables them.
  CBSleepModeCloseUp();
}
