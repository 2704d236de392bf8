// Reading the unit's whole configuration into the session's values.
#include <algorithm>
#include <string>

#include "link/VestraError.h"
#include "params/Encodings.h"
#include "params/Interlocks.h"
#include "params/ParamList.h"
#include "transfer/CodeTable.h"
#include "transfer/UnitSession.h"

namespace {

using R = TReadConversion;

int IntegerOf(const TCodeRow& row, std::string_view value) {
  return ToInteger(value).value_or(row.Read.Default);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void ApplyReadValue(TFormValues& form, const TCodeRow& row, std::string_view value,
                    TReadState& state) {
  const auto& names = row.Read.Controls;
  switch (row.Read.Conversion) {
    case R::Text:
      form.SetText(names[0], std::string(value));
      break;
    case R::Value:
      form.SetValue(names[0], IntegerOf(row, value));
      break;
    case R::ValueTimes10:
      // In double: ten times a large 32-bit value does not fit an int.
      form.SetValue(names[0], static_cast<double>(IntegerOf(row, value)) * 10);
      break;
    case R::Index:
      form.SetItemIndex(names[0], IntegerOf(row, value));
      break;
    case R::IndexCapped3:
      form.SetItemIndex(names[0], std::min(IntegerOf(row, value), 3));
      break;
    case R::Checked:
      form.SetChecked(names[0], IntegerOf(row, value) != 0);
      break;
    case R::SmsTypes: {
      std::size_t found = 0;
      for (char c : value) {
        if (!IsDigit(c)) continue;
        // A fourth digit has no phone to go to.
        if (found < names.size()) form.SetItemIndex(names[found], c - '0');
        ++found;
      }
      if (found < 3) throw EVestraError("Неверный ответ RAD");
      break;
    }
    case R::SensorBits: {
      int bits = IntegerOf(row, value);
      form.SetItemIndex(names[0], bits & 1);
      state.VibroBit = (bits & 2) != 0;
      break;
    }
    case R::VibroMode:
      DecodeVibroMode(form, IntegerOf(row, value));
      break;
    case R::SleepMode:
      DecodeSleepMode(form, IntegerOf(row, value));
      break;
    case R::Server: {
      std::string address(value);
      std::replace(address.begin(), address.end(), ',', '.');
      form.SetText(names[0], address);
      form.SetChecked(names[1], ParseIPAddress(address) == 0);
      ServerRule(form);
      break;
    }
  }
}

void TUnitSession::ReadCodes(int versionNumber) {
  // Each value goes into its controls before the next code is asked for, so that a failure
  // leaves everything read so far in place.
  TReadState state;
  int step = 0;
  for (const TCodeRow& row : CodeTable()) {
    if (!Carries(row, versionNumber)) continue;
    if (row.Read.Condition == TCondition::VibroBitSet && !state.VibroBit) {
      // The unit says the vibration sensor is off: not asked, shown as off.
      ApplyReadValue(Values, row, "0", state);
      continue;
    }
    ApplyReadValue(Values, row, Link.ReadParameter(std::string(row.Code)), state);
    Tell(TPhase::Read, ++step, static_cast<int>(CodeCount));
  }
}

TReadResult TUnitSession::ReadConfiguration(const std::string& port) {
  TReadResult read;
  static_cast<TOperationResult&>(read) =
      Run("Чтение параметров Вестра...", port, [this](TOperationResult& result) {
        // A running monitor owns the line; what it has not shown yet is not ours to drop.
        if (!KeepPortOpen) Link.FlushInput();
        result.Version = Link.ReadVersion();
        ReadCodes(VersionNumber(result.Version));
      });
  // The sensor-dependent controls follow what was read; not after a failed read.
  if (read.Done()) SensorRule(Values);
  read.Values = Values;
  return read;
}
