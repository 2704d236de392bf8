// How a difference between the program's values and the unit's reads for a person: the caption
// of the code's controls as the window shows them, and values as the window would show them.
#pragma once

#include <span>
#include <string>

#include "link/Person.h"
#include "transfer/Comparison.h"

// How one difference reads for a person (UTF-8): `Own` is the expected text, `Unit` the unit's.
using TDifferenceView = TPerson::TDifferenceRow;
// The caption of the code's control(s) (their group, then their own captions), the code, its
// parameter key(s) joined with ",", and both texts as the window would show them where the code
// maps to one control (the item's text for a list, "да"/"нет" for a check box, the dotted address
// for a server); otherwise, or when both would look the same, the texts themselves.
TDifferenceView DescribeDifference(const TCodeDifference& difference);

// Shows `differences` to `person`, each as `DescribeDifference` reads it.
void ShowDifferences(TPerson& person, const std::string& caption, const std::string& ownColumn,
                     std::span<const TCodeDifference> differences);
