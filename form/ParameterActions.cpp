// The controls as values, and the parameter set gathered from them and applied to them.
#include <QPlainTextEdit>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Applying.h"
#include "params/Encodings.h"
#include "params/Gathering.h"
#include "params/Judgement.h"

TFormValues TFmMain::ControlValues() const {
  TFormValues values;
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const QString name = QString::fromLatin1(ControlTable()[i].Name.data(),
                                             static_cast<qsizetype>(ControlTable()[i].Name.size()));
    QObject* control = FindControl(name);
    TControlValue value;
    if (auto* edit = qobject_cast<TEdit*>(control))
      value.Text = ToCp1251(edit->Text());
    else if (auto* list = qobject_cast<TComboBox*>(control))
      value.Number = list->ItemIndex();
    else if (auto* spin = qobject_cast<TSpinEdit*>(control))
      value.Number = spin->Value();
    else if (auto* box = qobject_cast<TCheckBox*>(control))
      value.Number = box->Checked() ? 1 : 0;
    // The control's own state, not isEnabled(), which also reads false under a disabled page.
    if (auto* widget = qobject_cast<QWidget*>(control))
      value.Enabled = !widget->testAttribute(Qt::WA_Disabled);
    values.Set(i, std::move(value));
  }
  return values;
}

void TFmMain::PutControlValue(std::size_t index, const TControlValue& value) {
  const std::string_view name = ControlTable()[index].Name;
  QObject* control =
      FindControl(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  if (auto* edit = qobject_cast<TEdit*>(control))
    edit->SetText(FromCp1251(value.Text));
  else if (auto* list = qobject_cast<TComboBox*>(control))
    list->SetItemIndex(value.Number);
  else if (auto* spin = qobject_cast<TSpinEdit*>(control))
    spin->SetValue(value.Number);
  else if (auto* box = qobject_cast<TCheckBox*>(control))
    box->SetChecked(value.Number != 0);
  if (auto* widget = qobject_cast<QWidget*>(control)) widget->setEnabled(value.Enabled);
}

void TFmMain::BindSessionValues() {
  Session.Values = ControlValues();
  Session.Values.Changed = [this](std::size_t index) {
    PutControlValue(index, Session.Values[index]);
  };
  Session.ManualCorrCoef = CBManualCorrCoef->Checked();
  Session.KeepPortOpen = MonitorOn();
}

int TFmMain::EncodeVibroMode() const { return ::EncodeVibroMode(ControlValues()); }
int TFmMain::EncodeSleepMode() const { return ::EncodeSleepMode(ControlValues()); }

void TFmMain::DecodeVibroMode(int value) {
  OnControlValues([value](TFormValues& values) { ::DecodeVibroMode(values, value); });
}

void TFmMain::DecodeSleepMode(int value) {
  OnControlValues([value](TFormValues& values) { ::DecodeSleepMode(values, value); });
}

bool TFmMain::GatherParameters() {
  return GatherValues(ControlValues(), ParamList, [this](const std::string& text) {
    Person->Tell(text, "Ошибка", TPerson::TIcon::Stop);
    return true;
  });
}

std::vector<std::string> TFmMain::GatherAllParameters() { return GatherAllParameters(ParamList); }

std::vector<std::string> TFmMain::GatherAllParameters(TParamList& into) {
  return GatherAllValues(ControlValues(), into);
}

void TFmMain::PutParametersIntoControls() {
  OnControlValues([this](TFormValues& values) {
    PutParameters(values, ParamList, CBManualCorrCoef->Checked());
  });
}

void TFmMain::ApplyParameters(const QString& fileName) {
  TFileApplied applied;
  OnControlValues([&](TFormValues& values) {
    applied = ApplyParamFile(values, CBManualCorrCoef->Checked(), fileName, ManualCorrCoefLabel());
  });
  if (applied.Failure) {
    ShowError(*applied.Failure);
    return;
  }
  ParamList.Assign(applied.Lines);
  // What the form holds otherwise than the file says goes to the log.
  for (const auto& unkept : applied.Unkept)
    Person->Log(ToCp1251(QString::fromStdString("Предупреждение: " + unkept.Text())));
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
