#include "params/Applying.h"

#include <QString>

#include "params/Encodings.h"
#include "params/Interlocks.h"
#include "params/ParamTable.h"

namespace {

using K = TParamKind;

// One row's value into its controls, as its kind says.
void PutRow(TFormValues& form, const TParamList& params, const TParamRow& row) {
  const auto integer = [&] { return params.Integer(row.Key, row.Default); };
  const std::string_view control = row.Controls[0];
  switch (row.Kind) {
    case K::Text:
    case K::Phone:
      form.SetText(control, params.Value(row.Key));
      break;
    case K::Number:
      // In double: ten times a large stored number overflows int.
      form.SetValue(control, static_cast<double>(row.Scale) * integer());
      break;
    case K::List:
      form.SetItemIndex(control, integer());
      break;
    case K::Check:
      form.SetChecked(control, integer() != 0);
      break;
    case K::Address: {
      const auto address = integer();
      form.SetChecked(row.Controls[1], address == 0);
      ServerRule(form);
      form.SetText(control, address == 0 ? "0.0.0.0" : UnpackIPAddress(address));
      break;
    }
    case K::Packed:
      if (row.Packing == TPacking::Vibro)
        DecodeVibroMode(form, integer());
      else
        DecodeSleepMode(form, integer());  // runs the sleep rule
      break;
  }
}

void RunRule(TFormValues& form, TApplyRule rule) {
  switch (rule) {
    case TApplyRule::None:
      break;
    case TApplyRule::SensorRule:
      SensorRule(form);
      break;
  }
}

}  // namespace

void PutParameters(TFormValues& values, const TParamList& params, bool manualCorrCoef) {
  for (const TParamRow* row : ApplyOrder()) {
    if (row->Condition == TApplyCondition::Always || manualCorrCoef) PutRow(values, params, *row);
    RunRule(values, row->RuleAfter);
  }
}
