// Gathering: the form's values into the parameter set, judging the user's input on the way.
//
// The rows of the parameter set are walked in file order; each kind says how its controls become
// a value, and the checks run at their fixed places: a row's check before it is appended, a
// phone's and an address's own checks while their values are formed. Every failed check goes to
// `failed`, which says whether to stop there: the window stops at the first and shows it; a
// script learns everything that is wrong in one run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "params/FormValues.h"
#include "params/ParamList.h"

// Hands a failed check's text (UTF-8) to the caller; true to stop there.
using TGatherFailed = std::function<bool(const std::string& text)>;

// Appends the 46 lines to `params` (emptied first) in file order. Going on past a failed check,
// the value is appended as the form holds it. False when it stopped.
bool GatherValues(const TFormValues& values, TParamList& params, const TGatherFailed& failed);

// Every check: `into` always gets its 46 lines, and the texts of every failed check come back
// in check order, none when the form passes.
std::vector<std::string> GatherAllValues(const TFormValues& values, TParamList& into);
