// ApplyParameters: a parameter file into the parameter set, and from there into the controls.
//
// Values are not rejected here: a missing key or a value that is not a whole number takes its
// default, lists and spin edits keep to their items and ranges by themselves, and the log says
// what the form made of a value otherwise than it was written. The next gathering judges what
// the file brought. Only a file whose value would carry a control character to the unit is
// refused whole, before anything changes.
#include <QString>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Encodings.h"
#include "params/Judgement.h"
#include "params/ParamFile.h"
#include "params/ParamTable.h"
#include "params/RowControls.h"

void TFmMain::ApplyParameters(const QString& fileName) {
  try {
    // Read whole before anything changes: a file that cannot be read leaves everything as is.
    const std::vector<std::string> lines = ReadParamFile(fileName);
    // Nor does a file whose value would carry a control character to the unit.
    if (const auto refused = RefusedValues(lines); !refused.empty()) {
      std::string text = "Файл параметров не загружен:";
      for (const auto& value : refused) text += "\n" + value.Text();
      ShowError(text);
      return;
    }
    // Applied as always; what the form holds otherwise than the file says goes to the log.
    const QString manual = "«" + CBManualCorrCoef->text().remove('&') + "»";
    const auto verdict = JudgeThroughForm(*this, lines, FileValues(lines), manual.toStdString());
    for (const auto& unkept : verdict.Unkept)
      Person->Log(ToCp1251(QString::fromStdString("Предупреждение: " + unkept.Text())));
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError({});
  }
}

void TFmMain::ApplyParameterLines(std::vector<std::string> lines) {
  try {
    ParamList.Assign(std::move(lines));
    PutParametersIntoControls();
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError({});
  }
}

namespace {

using K = TParamKind;

// One row's value into its controls, as its kind says.
void PutRow(TFmMain& form, const TParamRow& row) {
  const TParamList& params = form.ParamList;
  const auto integer = [&] { return params.Integer(row.Key, row.Default); };
  switch (row.Kind) {
    case K::Text:
    case K::Phone:
      RowControl<TEdit>(form, row)->SetText(FromCp1251(params.Value(row.Key)));
      break;
    case K::Number:
      // In double: ten times a large stored number overflows int.
      RowControl<TSpinEdit>(form, row)->SetValue(static_cast<double>(row.Scale) * integer());
      break;
    case K::List:
      RowControl<TComboBox>(form, row)->SetItemIndex(integer());
      break;
    case K::Check:
      RowControl<TCheckBox>(form, row)->SetChecked(integer() != 0);
      break;
    case K::Address: {
      auto* edit = RowControl<TEdit>(form, row);
      auto* unused = RowControl<TCheckBox>(form, row, 1);
      const auto address = integer();
      // The box's click notification runs the server rule, which enables the edit.
      unused->SetChecked(address == 0);
      edit->SetText(address == 0 ? QStringLiteral("0.0.0.0")
                                 : QString::fromStdString(UnpackIPAddress(address)));
      break;
    }
    case K::Packed:
      if (row.Packing == TPacking::Vibro)
        form.DecodeVibroMode(integer());
      else
        form.DecodeSleepMode(integer());  // runs the sleep rule
      break;
  }
}

void RunRule(TFmMain& form, TApplyRule rule) {
  switch (rule) {
    case TApplyRule::None:
      break;
    case TApplyRule::SensorRule:
      form.CBSensorModeChange();
      break;
  }
}

bool Applies(const TFmMain& form, const TParamRow& row) {
  return row.Condition == TApplyCondition::Always || form.CBManualCorrCoef->Checked();
}

}  // namespace

void TFmMain::PutParametersIntoControls() {
  for (const TParamRow* row : ApplyOrder()) {
    if (Applies(*this, *row)) PutRow(*this, *row);
    RunRule(*this, row->RuleAfter);
  }
}
