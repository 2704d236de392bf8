// GatherParameters: the form into the parameter set, judging the user's input on the way.
#include <QString>
#include <string>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Encodings.h"
#include "params/Numbered.h"
#include "params/ParamText.h"

namespace {

std::string Trimmed(const TEdit* edit) { return std::string(TrimControls(ToCp1251(edit->Text()))); }

std::string Check(const TCheckBox* box) { return box->Checked() ? "1" : "0"; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool TFmMain::GatherParameters() {
  auto fail = [this](const std::string& text) {
    Person->Tell(text, "Ошибка", TPerson::TIcon::Stop);
    return false;
  };
  auto number = [](long long value) { return std::to_string(value); };

  ParamList.Clear();

  for (int n = 1; n <= 3; ++n) {
    auto* edit = NumberedControl<TEdit>(*this, "EdServer", n);
    auto* unused = NumberedControl<TCheckBox>(*this, "CBServer", n);
    std::int32_t address = 0;
    if (!unused->Checked()) {
      address = ParseIPAddress(ToCp1251(edit->Text()));
      if (address == 0) return fail("Недопустимый адрес сервера " + std::to_string(n));
    }
    ParamList.Append("AddrServer" + std::to_string(n), number(address));
  }

  const std::string openPwd = Trimmed(EdOpenPwd);
  for (char c : openPwd)
    if (!IsDigit(c)) return fail("Пароль снятия может содержать только цифры");

  ParamList.Append("GPRSUser", Trimmed(EdLoginE));
  ParamList.Append("GPRSPwd", Trimmed(EdPwdE));
  ParamList.Append("GPRSSite", Trimmed(EdAPNE));
  ParamList.Append("GPRSUserInt", Trimmed(EdLoginI));
  ParamList.Append("GPRSPwdInt", Trimmed(EdPwdI));
  ParamList.Append("GPRSSiteInt", Trimmed(EdAPNI));
  ParamList.Append("BalanceRq", Trimmed(EdRqBalance));
  ParamList.Append("BalanceLimit", number(SELimitBal->Value() / 10));  // kept in tens of roubles
  ParamList.Append("BalancePeriod", number(SEPeriodBal->Value()));
  ParamList.Append("DelayAlarm", number(SEDelay->Value()));
  ParamList.Append("CloseDelay", number(SECloseDelay->Value()));
  ParamList.Append("PIRMode", number(CBPIRMode->ItemIndex()));
  ParamList.Append("BothAlarm", number(CBBothAlarm->ItemIndex()));
  ParamList.Append("VibroMode", number(EncodeVibroMode()));
  ParamList.Append("ChangeCoord", number(CBChangeCoord->ItemIndex()));
  ParamList.Append("LoadEfemerids", Check(CBLoadEfemerids));
  ParamList.Append("UseAGPS", Check(CBUseAGPS));
  ParamList.Append("SelSIMMode", number(CBSelSIMMode->ItemIndex()));
  ParamList.Append("TimeZone", number(SETimeZone->Value()));
  ParamList.Append("UseGPS", number(CBGPS->ItemIndex()));
  ParamList.Append("UseCellInfo", number(CBCellInfo->ItemIndex()));
  ParamList.Append("SendLinkFault", Check(CBSendLinkFault));
  ParamList.Append("OpenCloseSMS", Check(CBOpClsSMS));
  ParamList.Append("SleepMode", number(EncodeSleepMode()));
  ParamList.Append("SleepTime", number(SESleep->Value()));
  ParamList.Append("LowBatMsg", Check(CBLowBatMsg));
  ParamList.Append("RingMode", number(CBRingMode->ItemIndex()));
  ParamList.Append("RingDuration", number(SERingDuration->Value()));
  ParamList.Append("RingLevel", number(SERingLevel->Value()));

  const bool smsFromAny = CBControlSMS->ItemIndex() == 2;
  const bool sleeping = CBSleepMode->ItemIndex() > 0;
  if (smsFromAny && Trimmed(EdSMSPwd).empty())
    return fail(
        "Если допускаются SMS запросы с любого телефона, то пароль SMS не может быть пустым");
  if (CBPeriod->ItemIndex() < 0) return fail("Не выбран период оповещения");
  if (sleeping && CBControlSMS->ItemIndex() == 0 && !CBSleepKeyb->Checked())
    return fail(
        "Недопустимо: Режим закладки при выключенных запросах SMS и непробуждении от кнопок");
  if (sleeping && !CBLowBatMsg->Checked())
    return fail(
        "В режиме закладки должна быть включена передача сообщений о низком заряде батареи");
  ParamList.Append("Period", number(CBPeriod->ItemIndex()));

  for (int k = 1; k <= 3; ++k) {
    auto* edit = NumberedControl<TEdit>(*this, "EdPhone", k);
    auto* type = NumberedControl<TComboBox>(*this, "CBPhone", k);
    const std::string suffix = std::to_string(k);
    if (type->ItemIndex() < 0) return fail("Не выбран тип SMS для телефона " + suffix);
    ParamList.Append("EnSMS" + suffix, number(type->ItemIndex()));
    std::string digits;
    for (char c : ToCp1251(edit->Text())) {
      if (IsDigit(c))
        digits += c;
      else if (c != ' ' && c != '-' && c != '(' && c != ')' && c != '+')
        return fail("Недопустимый символ в телефоне " + suffix);
    }
    bool exempt = k == 1 && smsFromAny;
    if (type->ItemIndex() != 0 && digits.empty() && !exempt)
      return fail("Задана передача SMS, но не указан номер телефона " + suffix);
    ParamList.Append("PhoneSMS" + suffix, digits);
  }

  ParamList.Append("Brightness", number(SEBrightness->Value()));
  ParamList.Append("CorrCoef", number(SECorrCoef->Value()));
  ParamList.Append("PINCodeInt", Trimmed(EdPINI));
  ParamList.Append("PINCode", Trimmed(EdPINE));
  ParamList.Append("SMSPwd", Trimmed(EdSMSPwd));
  ParamList.Append("OpenPwd", openPwd);

  if (CBControlSMS->ItemIndex() < 0) return fail("Не выбран режим управляющих SMS");
  ParamList.Append("ControlSMS", number(CBControlSMS->ItemIndex()));
  return true;
}
