// How a difference between the window and the unit reads for a person: the caption of the
// code's controls as the window shows them, and values as the window would show them.
//
// Comparing (transfer/Comparison.h) deals in codes and value texts only; walking the widget tree
// for captions and item texts is the window's concern, and lives here.
#pragma once

#include <span>
#include <string>

#include "link/Person.h"
#include "transfer/Comparison.h"

class TFmMain;

// How one difference reads for a person (UTF-8): `Own` is the expected text, `Unit` the unit's.
using TDifferenceView = TPerson::TDifferenceRow;
// The caption of the code's control(s) as the window shows it, the code, its parameter key(s)
// joined with ",", and both texts as the window would show them where the code maps to one
// control (the item's text for a list, "да"/"нет" for a check box, the dotted address for a
// server); otherwise, or when both would look the same, the texts themselves.
TDifferenceView DescribeDifference(const TFmMain& form, const TCodeDifference& difference);

// Shows `differences` to the form's person, each as `DescribeDifference` reads it.
void ShowDifferences(TFmMain& form, const std::string& caption, const std::string& ownColumn,
                     std::span<const TCodeDifference> differences);
