// GatherParameters: the form into the parameter set, judging the user's input on the way.
//
// The checks are written once, in `Gather`, which hands every failed check to its caller: the
// window stops at the first and shows it; GatherAllParameters notes each and goes on, so that a
// script learns everything that is wrong in one run.
#include <QString>
#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Encodings.h"
#include "params/Numbered.h"
#include "params/ParamText.h"

namespace {

std::string Trimmed(const TEdit* edit) { return std::string(TrimControls(ToCp1251(edit->Text()))); }

std::string Check(const TCheckBox* box) { return box->Checked() ? "1" : "0"; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Appends the 46 lines to `params` in their fixed order, judging on the way. A failed check goes
// to `failed`, which says whether to stop there (the lines appended so far stay); going on, the
// value is appended as the form holds it. False when it stopped.
bool Gather(TFmMain& form, TParamList& params,
            const std::function<bool(const std::string& text)>& failed) {
  auto number = [](long long value) { return std::to_string(value); };

  params.Clear();

  for (int n = 1; n <= 3; ++n) {
    auto* edit = NumberedControl<TEdit>(form, "EdServer", n);
    auto* unused = NumberedControl<TCheckBox>(form, "CBServer", n);
    std::int32_t address = 0;
    if (!unused->Checked()) {
      address = ParseIPAddress(ToCp1251(edit->Text()));
      if (address == 0 && failed("Недопустимый адрес сервера " + std::to_string(n))) return false;
    }
    params.Append("AddrServer" + std::to_string(n), number(address));
  }

  const std::string openPwd = Trimmed(form.EdOpenPwd);
  if (!std::all_of(openPwd.begin(), openPwd.end(), IsDigit) &&
      failed("Пароль снятия может содержать только цифры"))
    return false;

  params.Append("GPRSUser", Trimmed(form.EdLoginE));
  params.Append("GPRSPwd", Trimmed(form.EdPwdE));
  params.Append("GPRSSite", Trimmed(form.EdAPNE));
  params.Append("GPRSUserInt", Trimmed(form.EdLoginI));
  params.Append("GPRSPwdInt", Trimmed(form.EdPwdI));
  params.Append("GPRSSiteInt", Trimmed(form.EdAPNI));
  params.Append("BalanceRq", Trimmed(form.EdRqBalance));
  params.Append("BalanceLimit", number(form.SELimitBal->Value() / 10));  // in tens of roubles
  params.Append("BalancePeriod", number(form.SEPeriodBal->Value()));
  params.Append("DelayAlarm", number(form.SEDelay->Value()));
  params.Append("CloseDelay", number(form.SECloseDelay->Value()));
  params.Append("PIRMode", number(form.CBPIRMode->ItemIndex()));
  params.Append("BothAlarm", number(form.CBBothAlarm->ItemIndex()));
  params.Append("VibroMode", number(form.EncodeVibroMode()));
  params.Append("ChangeCoord", number(form.CBChangeCoord->ItemIndex()));
  params.Append("LoadEfemerids", Check(form.CBLoadEfemerids));
  params.Append("UseAGPS", Check(form.CBUseAGPS));
  params.Append("SelSIMMode", number(form.CBSelSIMMode->ItemIndex()));
  params.Append("TimeZone", number(form.SETimeZone->Value()));
  params.Append("UseGPS", number(form.CBGPS->ItemIndex()));
  params.Append("UseCellInfo", number(form.CBCellInfo->ItemIndex()));
  params.Append("SendLinkFault", Check(form.CBSendLinkFault));
  params.Append("OpenCloseSMS", Check(form.CBOpClsSMS));
  params.Append("SleepMode", number(form.EncodeSleepMode()));
  params.Append("SleepTime", number(form.SESleep->Value()));
  params.Append("LowBatMsg", Check(form.CBLowBatMsg));
  params.Append("RingMode", number(form.CBRingMode->ItemIndex()));
  params.Append("RingDuration", number(form.SERingDuration->Value()));
  params.Append("RingLevel", number(form.SERingLevel->Value()));

  const bool smsFromAny = form.CBControlSMS->ItemIndex() == 2;
  const bool sleeping = form.CBSleepMode->ItemIndex() > 0;
  // In check order; the first that holds fails.
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
    if (holds && failed(text)) return false;
  params.Append("Period", number(form.CBPeriod->ItemIndex()));

  for (int k = 1; k <= 3; ++k) {
    auto* edit = NumberedControl<TEdit>(form, "EdPhone", k);
    auto* type = NumberedControl<TComboBox>(form, "CBPhone", k);
    const std::string suffix = std::to_string(k);
    if (type->ItemIndex() < 0 && failed("Не выбран тип SMS для телефона " + suffix)) return false;
    params.Append("EnSMS" + suffix, number(type->ItemIndex()));
    std::string digits;
    bool foreign = false;
    for (char c : ToCp1251(edit->Text())) {
      if (IsDigit(c))
        digits += c;
      else if (c != ' ' && c != '-' && c != '(' && c != ')' && c != '+')
        foreign = true;
    }
    if (foreign && failed("Недопустимый символ в телефоне " + suffix)) return false;
    bool exempt = k == 1 && smsFromAny;
    if (type->ItemIndex() > 0 && digits.empty() && !exempt &&
        failed("Задана передача SMS, но не указан номер телефона " + suffix))
      return false;
    params.Append("PhoneSMS" + suffix, digits);
  }

  params.Append("Brightness", number(form.SEBrightness->Value()));
  params.Append("CorrCoef", number(form.SECorrCoef->Value()));
  params.Append("PINCodeInt", Trimmed(form.EdPINI));
  params.Append("PINCode", Trimmed(form.EdPINE));
  params.Append("SMSPwd", Trimmed(form.EdSMSPwd));
  params.Append("OpenPwd", openPwd);

  if (form.CBControlSMS->ItemIndex() < 0 && failed("Не выбран режим управляющих SMS")) return false;
  params.Append("ControlSMS", number(form.CBControlSMS->ItemIndex()));
  return true;
}

}  // namespace

bool TFmMain::GatherParameters() {
  return Gather(*this, ParamList, [this](const std::string& text) {
    Person->Tell(text, "Ошибка", TPerson::TIcon::Stop);
    return true;
  });
}

std::vector<std::string> TFmMain::GatherAllParameters() {
  std::vector<std::string> failures;
  Gather(*this, ParamList, [&failures](const std::string& text) {
    failures.push_back(text);
    return false;
  });
  return failures;
}
