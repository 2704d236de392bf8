#include "params/Interlocks.h"

#include <string>

void CorrCoefRule(TFormValues& values, bool manualCorrCoef) {
  values.SetEnabled("SECorrCoef", manualCorrCoef);
}

void ServerRule(TFormValues& values) {
  for (const char* n : {"1", "2", "3"})
    values.SetEnabled(std::string("EdServer") + n, !values.Checked(std::string("CBServer") + n));
}

void SensorRule(TFormValues& values) {
  const bool vibro = values.ItemIndex("CBVibroMode") != 0;
  values.SetEnabled("SEVibroSens", vibro);
  const bool bothSensors = vibro && values.ItemIndex("CBPIRMode") != 0;
  values.SetEnabled("CBBothAlarm", bothSensors);
  if (!bothSensors) values.SetItemIndex("CBBothAlarm", 0);
}

void SleepRule(TFormValues& values) {
  const bool sleeping = values.ItemIndex("CBSleepMode") > 0;
  for (const char* name : {"SESleep", "CBSleepMsg", "CBSleepKeyb"})
    values.SetEnabled(name, sleeping);
  if (!sleeping) {
    values.SetChecked("CBSleepMsg", false);
    values.SetChecked("CBSleepKeyb", false);
  }
}
