#include "params/Encodings.h"
#include "params/FormValues.h"
#include "params/Interlocks.h"

int EncodeVibroMode(const TFormValues& values) {
  const int mode = values.ItemIndex("CBVibroMode");
  if (mode == 0) return 0;
  return values.Value("SEVibroSens") + (mode == 2 ? 128 : 0);
}

void DecodeVibroMode(TFormValues& values, int value) {
  if (value == 0) {
    values.SetItemIndex("CBVibroMode", 0);
    values.SetValue("SEVibroSens", 50);
    return;
  }
  values.SetValue("SEVibroSens", value & 127);
  values.SetItemIndex("CBVibroMode", (value & 128) != 0 ? 2 : 1);
}

int EncodeSleepMode(const TFormValues& values) {
  return (values.ItemIndex("CBSleepMode") > 0 ? 1 : 0) + (values.Checked("CBSleepMsg") ? 2 : 0) +
         (values.Checked("CBSleepKeyb") ? 4 : 0);
}

void DecodeSleepMode(TFormValues& values, int value) {
  values.SetItemIndex("CBSleepMode", value & 1);
  values.SetChecked("CBSleepMsg", (value & 2) != 0);
  values.SetChecked("CBSleepKeyb", (value & 4) != 0);
  SleepRule(values);
}
