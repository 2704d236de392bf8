// GatherParameters: the form into the parameter set, judging the user's input on the way.
//
// The rows of the parameter set are walked in file order; each kind says how its controls become
// a value, and the checks run at their fixed places: a row's check before it is appended, a
// phone's and an address's own checks while their values are formed. Every failed check goes to
// the caller: the window stops at the first and shows it; GatherAllParameters notes each and
// goes on, so that a script learns everything that is wrong in one run.
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Encodings.h"
#include "params/ParamTable.h"
#include "params/ParamText.h"
#include "params/RowControls.h"

namespace {

using K = TParamKind;
// Hands a failed check's text to the caller; true to stop there.
using TFailed = std::function<bool(const std::string& text)>;

std::string Trimmed(const TEdit* edit) { return std::string(TrimControls(ToCp1251(edit->Text()))); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The checks of the sleeping mode and the SMS requests, in check order; the first that holds
// fails.
bool ModeRulesFail(const TFmMain& form, const TFailed& failed) {
  const bool smsFromAny = form.CBControlSMS->ItemIndex() == 2;
  const bool sleeping = form.CBSleepMode->ItemIndex() > 0;
  const std::pair<bool, const char*> modeChecks[] = {
      {smsFromAny && Trimmed(form.EdSMSPwd).empty(),
       "Если допускаются SMS запросы с любого телефона, то пароль SMS не может быть пустым"},
      {form.CBPeriod->ItemIndex() < 0, "Не выбран период оповещения"},
      {sleeping && form.CBControlSMS->ItemIndex() == 0 && !form.CBSleepKeyb->Checked(),
       "Недопустимо: Режим закладки при выключенных запросах SMS и непробуждении от кнопок"},
      {sleeping && !form.CBLowBatMsg->Checked(),
       "В режиме закладки должна быть включена передача сообщений о низком заряде батареи"},
  };
  for (const auto& [holds, text] : modeChecks)
    if (holds && failed(text)) return true;
  return false;
}

// The row's check before it is appended; true when it failed and the caller stops.
bool CheckFails(const TFmMain& form, const TParamRow& row, const TFailed& failed) {
  switch (row.CheckBefore) {
    case TGatherCheck::None:
      return false;
    case TGatherCheck::OpenPwdDigits: {
      const std::string openPwd = Trimmed(form.EdOpenPwd);
      return !std::all_of(openPwd.begin(), openPwd.end(), IsDigit) &&
             failed("Пароль снятия может содержать только цифры");
    }
    case TGatherCheck::ModeRules:
      return ModeRulesFail(form, failed);
    case TGatherCheck::PhoneTypeChosen:
      return RowControl<TComboBox>(form, row)->ItemIndex() < 0 &&
             failed("Не выбран тип SMS для телефона " + RowNumber(row));
    case TGatherCheck::ControlSmsChosen:
      return RowControl<TComboBox>(form, row)->ItemIndex() < 0 &&
             failed("Не выбран режим управляющих SMS");
  }
  return false;
}

// A phone's digits, judged: any character but digits, blanks, "-", "(", ")" and "+" fails, and
// so does a phone with an SMS type but no digits (phone 1 is exempt while SMS requests come from
// any phone). Nothing when the caller stops.
std::optional<std::string> PhoneDigits(const TFmMain& form, const TParamRow& row,
                                       const TFailed& failed) {
  const std::string k = RowNumber(row);
  std::string digits;
  bool foreign = false;
  for (char c : ToCp1251(RowControl<TEdit>(form, row)->Text())) {
    if (IsDigit(c))
      digits += c;
    else if (c != ' ' && c != '-' && c != '(' && c != ')' && c != '+')
      foreign = true;
  }
  if (foreign && failed("Недопустимый символ в телефоне " + k)) return std::nullopt;
  const TParamRow* type = FindParam("EnSMS" + k);  // the phone's SMS type
  const bool exempt = k == "1" && form.CBControlSMS->ItemIndex() == 2;
  if (RowControl<TComboBox>(form, *type)->ItemIndex() > 0 && digits.empty() && !exempt &&
      failed("Задана передача SMS, но не указан номер телефона " + k))
    return std::nullopt;
  return digits;
}

// The row's value as the form holds it; nothing when a check of its kind failed and the caller
// stops.
std::optional<std::string> ValueOf(TFmMain& form, const TParamRow& row, const TFailed& failed) {
  switch (row.Kind) {
    case K::Text:
      return Trimmed(RowControl<TEdit>(form, row));
    case K::Number:
      return std::to_string(RowControl<TSpinEdit>(form, row)->Value() / row.Scale);
    case K::List:
      return std::to_string(RowControl<TComboBox>(form, row)->ItemIndex());
    case K::Check:
      return RowControl<TCheckBox>(form, row)->Checked() ? "1" : "0";
    case K::Phone:
      return PhoneDigits(form, row, failed);
    case K::Address: {
      if (RowControl<TCheckBox>(form, row, 1)->Checked()) return "0";
      const std::int32_t address = ParseIPAddress(ToCp1251(RowControl<TEdit>(form, row)->Text()));
      if (address == 0 && failed("Недопустимый адрес сервера " + RowNumber(row)))
        return std::nullopt;
      return std::to_string(address);
    }
    case K::Packed:
      return std::to_string(row.Packing == TPacking::Vibro ? form.EncodeVibroMode()
                                                           : form.EncodeSleepMode());
  }
  return std::nullopt;
}

// Appends the 46 lines to `params` in file order, judging on the way. A failed check goes to
// `failed`, which says whether to stop there (the lines appended so far stay); going on, the
// value is appended as the form holds it. False when it stopped.
bool Gather(TFmMain& form, TParamList& params, const TFailed& failed) {
  params.Clear();
  for (const TParamRow& row : ParamTable()) {
    if (CheckFails(form, row, failed)) return false;
    const auto value = ValueOf(form, row, failed);
    if (!value) return false;
    params.Append(row.Key, *value);
  }
  return true;
}

}  // namespace

bool TFmMain::GatherParameters() {
  return Gather(*this, ParamList, [this](const std::string& text) {
    Person->Tell(text, "Ошибка", TPerson::TIcon::Stop);
    return true;
  });
}

std::vector<std::string> TFmMain::GatherAllParameters() { return GatherAllParameters(ParamList); }

std::vector<std::string> TFmMain::GatherAllParameters(TParamList& into) {
  std::vector<std::string> failures;
  Gather(*this, into, [&failures](const std::string& text) {
    failures.push_back(text);
    return false;
  });
  return failures;
}
