// The rules that keep mode-dependent controls enabled or disabled, as functions on values. Each
// re-evaluates its whole group; the window runs them on its controls' values when the person
// changes a mode, and applying and reading run them where the filling code calls them.
#pragma once

#include "params/FormValues.h"

// The calibration value is the person's to set only while "manual" is chosen.
void CorrCoefRule(TFormValues& values, bool manualCorrCoef);
// A server marked "Не использовать" has its address disabled.
void ServerRule(TFormValues& values);
// The sensitivity follows the vibration sensor; "both sensors" needs both, and is cleared
// without them.
void SensorRule(TFormValues& values);
// Without the sleeping mode its period and the two boxes mean nothing: disabled, boxes cleared.
void SleepRule(TFormValues& values);
