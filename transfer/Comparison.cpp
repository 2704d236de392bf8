// Comparing the unit's configuration with the program's: what a write sends and what the unit
// holds.
#include "transfer/Comparison.h"

#include <QString>
#include <algorithm>

#include "form/Captions.h"
#include "form/FmMain.h"
#include "params/ParamList.h"
#include "transfer/CodeTable.h"

std::vector<TCodeValue> PlannedWrite(const TFmMain& form, int versionNumber) {
  const bool manualCorrCoef = form.CBManualCorrCoef->Checked();
  std::vector<TCodeValue> planned;
  for (const TCodeRow* row : WriteOrder()) {
    if (!Carries(*row, versionNumber)) continue;
    if (row->Write.Condition == TCondition::ManualCorrCoefSet && !manualCorrCoef) continue;
    planned.push_back(
        {std::string(row->Code), FormWriteValue(*row, form.ParamList, versionNumber)});
  }
  return planned;
}

TKeyCodes CodesOfKeys(std::span<const std::string> keys, int versionNumber) {
  const auto given = [&](std::string_view key) {
    return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
      return QString::fromStdString(k).compare(QLatin1String(key.data(), key.size()),
                                               Qt::CaseInsensitive) == 0;
    });
  };
  TKeyCodes codes;
  for (const TCodeRow* row : WriteOrder()) {
    for (std::string_view key : row->Write.Keys) {
      if (key.empty() || !given(key)) continue;
      if (Carries(*row, versionNumber)) {
        codes.Carried.emplace_back(row->Code);
        break;
      }
      codes.Lacking.push_back({std::string(key), std::string(row->Code)});
    }
  }
  return codes;
}

std::vector<TCodeDifference> CompareWithUnit(TFmMain& form, std::span<const TCodeValue> expected) {
  std::vector<TCodeDifference> differences;
  for (const TCodeValue& code : expected) {
    std::string actual = form.Link.ReadParameter(code.Code);
    if (actual != code.Value) differences.push_back({code.Code, code.Value, std::move(actual)});
  }
  return differences;
}

void TFmMain::ActCompareExecute() {
  LastDifferences.reset();
  if (!GatherParameters()) return;  // it has told the person already; nothing is read
  std::vector<TCodeDifference> found;
  bool done = RunOperation("Сравнение с Вестрой...", [&] {
    // A running monitor owns the line; what it has not shown yet is not ours to drop.
    if (!MonitorOn()) Link.FlushInput();
    const int versionNumber = VersionNumber(Link.ReadVersion());
    found = CompareWithUnit(*this, PlannedWrite(*this, versionNumber));
  });
  if (!done) return;
  LastDifferences = found;
  ShowDifferences(*this, "Сравнение с Вестрой", "В окне", found);
}
