// ApplyParameters: a parameter file into the parameter set, and from there into the controls.
//
// Values are never judged here: a missing key or a value that is not a whole number takes its
// default, lists and spin edits keep to their items and ranges by themselves. The next
// gathering judges what the file brought.
#include <QString>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "params/Encodings.h"
#include "params/Numbered.h"
#include "params/ParamFile.h"

void TFmMain::ApplyParameters(const QString& fileName) {
  try {
    // Read whole before anything changes: a file that cannot be read leaves everything as is.
    ParamList.Assign(ReadParamFile(fileName));
    PutParametersIntoControls();
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

void TFmMain::PutParametersIntoControls() {
  auto text = [this](TEdit* edit, const char* key) {
    edit->SetText(FromCp1251(ParamList.Value(key)));
  };
  auto integer = [this](const std::string& key, std::int32_t fallback) {
    return ParamList.Integer(key, fallback);
  };
  auto spin = [&](TSpinEdit* spin, const char* key, std::int32_t fallback) {
    spin->SetValue(integer(key, fallback));
  };
  auto index = [&](TComboBox* list, const char* key, std::int32_t fallback) {
    list->SetItemIndex(integer(key, fallback));
  };
  auto check = [&](TCheckBox* box, const char* key, std::int32_t fallback) {
    box->SetChecked(integer(key, fallback) != 0);
  };

  text(EdLoginE, "GPRSUser");
  text(EdPwdE, "GPRSPwd");
  text(EdAPNE, "GPRSSite");
  text(EdLoginI, "GPRSUserInt");
  text(EdPwdI, "GPRSPwdInt");
  text(EdAPNI, "GPRSSiteInt");
  text(EdRqBalance, "BalanceRq");
  // Stored in tens of roubles; in double, since ten times a large stored number overflows int.
  SELimitBal->SetValue(10.0 * integer("BalanceLimit", 0));
  spin(SEPeriodBal, "BalancePeriod", 0);
  for (int n = 1; n <= 3; ++n) {
    auto* unused = NumberedControl<TCheckBox>(*this, "CBServer", n);
    auto* edit = NumberedControl<TEdit>(*this, "EdServer", n);
    auto address = integer("AddrServer" + std::to_string(n), 0);
    // The box's click notification runs the server rule, which enables the edit.
    unused->SetChecked(address == 0);
    edit->SetText(address == 0 ? QStringLiteral("0.0.0.0")
                               : QString::fromStdString(UnpackIPAddress(address)));
  }
  spin(SEDelay, "DelayAlarm", 0);
  spin(SECloseDelay, "CloseDelay", 0);
  index(CBPIRMode, "PIRMode", 0);
  DecodeVibroMode(integer("VibroMode", 0));
  index(CBBothAlarm, "BothAlarm", 0);
  index(CBChangeCoord, "ChangeCoord", 0);
  spin(SETimeZone, "TimeZone", 0);
  index(CBGPS, "UseGPS", 0);
  index(CBCellInfo, "UseCellInfo", 0);
  check(CBSendLinkFault, "SendLinkFault", 0);
  index(CBPeriod, "Period", 0);
  spin(SEBrightness, "Brightness", 0);
  if (CBManualCorrCoef->Checked()) spin(SECorrCoef, "CorrCoef", 0);
  text(EdPINE, "PINCode");
  text(EdPINI, "PINCodeInt");
  text(EdSMSPwd, "SMSPwd");
  text(EdOpenPwd, "OpenPwd");
  index(CBControlSMS, "ControlSMS", 0);
  check(CBLoadEfemerids, "LoadEfemerids", 1);
  check(CBUseAGPS, "UseAGPS", 1);
  index(CBSelSIMMode, "SelSIMMode", 2);
  check(CBOpClsSMS, "OpenCloseSMS", 0);
  check(CBLowBatMsg, "LowBatMsg", 0);
  DecodeSleepMode(integer("SleepMode", 0));  // runs the sleep rule
  spin(SESleep, "SleepTime", 24);
  for (int k = 1; k <= 3; ++k) {
    const std::string suffix = std::to_string(k);
    NumberedControl<TEdit>(*this, "EdPhone", k)
        ->SetText(FromCp1251(ParamList.Value("PhoneSMS" + suffix)));
    NumberedControl<TComboBox>(*this, "CBPhone", k)->SetItemIndex(integer("EnSMS" + suffix, 0));
  }
  // Lists set by the program raise no notification: the sensor rule runs here, after
  // "BothAlarm", so that a pair of sensors not both in use leaves it at "Нет".
  CBSensorModeChange();
  index(CBRingMode, "RingMode", 0);
  spin(SERingDuration, "RingDuration", 2);
  spin(SERingLevel, "RingLevel", 11);
}
