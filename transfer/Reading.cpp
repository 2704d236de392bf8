// Reading the unit's whole configuration into the window.
#include <QPlainTextEdit>
#include <algorithm>
#include <string>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "link/VestraError.h"
#include "params/Encodings.h"
#include "params/ParamList.h"
#include "transfer/CodeTable.h"

namespace {

using R = TReadConversion;

QString Name(std::string_view name) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

template <class T>
T* Control(const TFmMain& form, std::string_view name) {
  return name.empty() ? nullptr : form.FindControlAs<T>(Name(name));
}

int IntegerOf(const TCodeRow& row, std::string_view value) {
  return ToInteger(value).value_or(row.Read.Default);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Each value goes into its controls before the next code is asked for, so that a failure
// leaves everything read so far in place.
void ReadCodes(TFmMain& form, int versionNumber) {
  TReadState state;
  for (const TCodeRow& row : CodeTable()) {
    if (!Carries(row, versionNumber)) continue;
    if (row.Read.Condition == TCondition::VibroBitSet && !state.VibroBit) {
      // The unit says the vibration sensor is off: not asked, shown as off.
      ApplyReadValue(form, row, "0", state);
      continue;
    }
    ApplyReadValue(form, row, form.Link.ReadParameter(std::string(row.Code)), state);
  }
}

}  // namespace

void ApplyReadValue(TFmMain& form, const TCodeRow& row, std::string_view value, TReadState& state) {
  const auto& names = row.Read.Controls;
  switch (row.Read.Conversion) {
    case R::Text:
      if (auto* edit = Control<TEdit>(form, names[0])) edit->SetText(FromCp1251(value));
      break;
    case R::Value:
      if (auto* spin = Control<TSpinEdit>(form, names[0])) spin->SetValue(IntegerOf(row, value));
      break;
    case R::ValueTimes10:
      // In double: ten times a large 32-bit value does not fit an int.
      if (auto* spin = Control<TSpinEdit>(form, names[0]))
        spin->SetValue(static_cast<double>(IntegerOf(row, value)) * 10);
      break;
    case R::Index:
      if (auto* list = Control<TComboBox>(form, names[0]))
        list->SetItemIndex(IntegerOf(row, value));
      break;
    case R::IndexCapped3:
      if (auto* list = Control<TComboBox>(form, names[0]))
        list->SetItemIndex(std::min(IntegerOf(row, value), 3));
      break;
    case R::Checked:
      if (auto* box = Control<TCheckBox>(form, names[0]))
        box->SetChecked(IntegerOf(row, value) != 0);
      break;
    case R::SmsTypes: {
      std::size_t found = 0;
      for (char c : value) {
        if (!IsDigit(c)) continue;
        // A fourth digit has no phone to go to.
        if (found < names.size())
          if (auto* list = Control<TComboBox>(form, names[found])) list->SetItemIndex(c - '0');
        ++found;
      }
      if (found < 3) throw EVestraError("Неверный ответ RAD");
      break;
    }
    case R::SensorBits: {
      int bits = IntegerOf(row, value);
      if (auto* list = Control<TComboBox>(form, names[0])) list->SetItemIndex(bits & 1);
      state.VibroBit = (bits & 2) != 0;
      break;
    }
    case R::VibroMode:
      form.DecodeVibroMode(IntegerOf(row, value));
      break;
    case R::SleepMode:
      form.DecodeSleepMode(IntegerOf(row, value));
      break;
    case R::Server: {
      std::string address(value);
      std::replace(address.begin(), address.end(), ',', '.');
      if (auto* edit = Control<TEdit>(form, names[0])) edit->SetText(FromCp1251(address));
      if (auto* box = Control<TCheckBox>(form, names[1]))
        box->SetChecked(ParseIPAddress(address) == 0);
      break;
    }
  }
}

void TFmMain::ActReadExecute() {
  MmLog->clear();
  // The frame opens the port, closes it again unless the monitor holds it, and on a failure
  // closes it, hides the wait panel and shows the error, in that order.
  bool done = RunOperation("Чтение параметров Вестра...", [this] {
    // A running monitor owns the line; what it has not shown yet is not ours to drop.
    if (!MonitorOn()) Link.FlushInput();
    ReadCodes(*this, VersionNumber(Link.ReadVersion()));
  });
  // The sensor-dependent controls follow what was read; not after a failed read.
  if (done) CBSensorModeChange(nullptr);
}
