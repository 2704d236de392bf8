// Applying: the parameter set into the form's values, row by row in the order of applying.
//
// Values are not rejected here: a missing key or a value that is not a whole number takes its
// default, and lists and spin edits keep to their items and ranges by their kinds' rules. The
// rules of the interlocks run where the filling code calls them. "CorrCoef" is applied only
// while its manual setting is chosen.
#pragma once

#include "params/FormValues.h"
#include "params/ParamList.h"

void PutParameters(TFormValues& values, const TParamList& params, bool manualCorrCoef);
