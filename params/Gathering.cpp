// Gathering: the form's values into the parameter set (params/Gathering.h).
#include "params/Gathering.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "params/Encodings.h"
#include "params/ParamTable.h"
#include "params/ParamText.h"

namespace {

using K = TParamKind;
// Hands a failed check's text to the caller; true to stop there.
using TFailed = TGatherFailed;

std::string Trimmed(const TFormValues& form, std::string_view edit) {
  return std::string(TrimControls(form.Text(edit)));
}

// The control number `i` of a row (0: the one that holds the value).
std::string_view Control(const TParamRow& row, std::size_t i = 0) { return row.Controls[i]; }

// The number of a numbered key ("AddrServer2", "EnSMS3"): its last character.
std::string RowNumber(const TParamRow& row) { return std::string(1, row.Key.back()); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The checks of the sleeping mode and the SMS requests, in check order; the first that holds
// fails.
bool ModeRulesFail(const TFormValues& form, const TFailed& failed) {
  const bool smsFromAny = form.ItemIndex("CBControlSMS") == 2;
  const bool sleeping = form.ItemIndex("CBSleepMode") > 0;
  const std::pair<bool, const char*> modeChecks[] = {
      {smsFromAny && Trimmed(form, "EdSMSPwd").empty(),
       "Если допускаются SMS запросы с любого телефона, то пароль SMS не может быть пустым"},
      {form.ItemIndex("CBPeriod") < 0, "Не выбран период оповещения"},
      {sleeping && form.ItemIndex("CBControlSMS") == 0 && !form.Checked("CBSleepKeyb"),
       "Недопустимо: Режим закладки при выключенных запросах SMS и непробуждении от кнопок"},
      {sleeping && !form.Checked("CBLowBatMsg"),
       "В режиме закладки должна быть включена передача сообщений о низком заряде батареи"},
  };
  for (const auto& [holds, text] : modeChecks)
    if (holds && failed(text)) return true;
  return false;
}

// The row's check before it is appended; true when it failed and the caller stops.
bool CheckFails(const TFormValues& form, const TParamRow& row, const TFailed& failed) {
  switch (row.CheckBefore) {
    case TGatherCheck::None:
      return false;
    case TGatherCheck::OpenPwdDigits: {
      const std::string openPwd = Trimmed(form, "EdOpenPwd");
      return !std::all_of(openPwd.begin(), openPwd.end(), IsDigit) &&
             failed("Пароль снятия может содержать только цифры");
    }
    case TGatherCheck::ModeRules:
      return ModeRulesFail(form, failed);
    case TGatherCheck::PhoneTypeChosen:
      return form.ItemIndex(Control(row)) < 0 &&
             failed("Не выбран тип SMS для телефона " + RowNumber(row));
    case TGatherCheck::ControlSmsChosen:
      return form.ItemIndex(Control(row)) < 0 && failed("Не выбран режим управляющих SMS");
  }
  return false;
}

// A phone's digits, judged: any character but digits, blanks, "-", "(", ")" and "+" fails, and
// so does a phone with an SMS type but no digits (phone 1 is exempt while SMS requests come from
// any phone). Nothing when the caller stops.
std::optional<std::string> PhoneDigits(const TFormValues& form, const TParamRow& row,
                                       const TFailed& failed) {
  const std::string k = RowNumber(row);
  std::string digits;
  bool foreign = false;
  for (char c : form.Text(Control(row))) {
    if (IsDigit(c))
      digits += c;
    else if (c != ' ' && c != '-' && c != '(' && c != ')' && c != '+')
      foreign = true;
  }
  if (foreign && failed("Недопустимый символ в телефоне " + k)) return std::nullopt;
  const TParamRow* type = FindParam("EnSMS" + k);  // the phone's SMS type
  const bool exempt = k == "1" && form.ItemIndex("CBControlSMS") == 2;
  if (form.ItemIndex(Control(*type)) > 0 && digits.empty() && !exempt &&
      failed("Задана передача SMS, но не указан номер телефона " + k))
    return std::nullopt;
  return digits;
}

// The row's value as the form holds it; nothing when a check of its kind failed and the caller
// stops.
std::optional<std::string> ValueOf(const TFormValues& form, const TParamRow& row,
                                   const TFailed& failed) {
  switch (row.Kind) {
    case K::Text:
      return Trimmed(form, Control(row));
    case K::Number:
      return std::to_string(form.Value(Control(row)) / row.Scale);
    case K::List:
      return std::to_string(form.ItemIndex(Control(row)));
    case K::Check:
      return form.Checked(Control(row)) ? "1" : "0";
    case K::Phone:
      return PhoneDigits(form, row, failed);
    case K::Address: {
      if (form.Checked(Control(row, 1))) return "0";
      const std::int32_t address = ParseIPAddress(form.Text(Control(row)));
      if (address == 0 && failed("Недопустимый адрес сервера " + RowNumber(row)))
        return std::nullopt;
      return std::to_string(address);
    }
    case K::Packed:
      return std::to_string(row.Packing == TPacking::Vibro ? EncodeVibroMode(form)
                                                           : EncodeSleepMode(form));
  }
  return std::nullopt;
}

// Appends the 46 lines to `params` in file order, judging on the way. A failed check goes to
// `failed`, which says whether to stop there (the lines appended so far stay); going on, the
// value is appended as the form holds it. False when it stopped.
bool Gather(const TFormValues& form, TParamList& params, const TFailed& failed) {
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

bool GatherValues(const TFormValues& values, TParamList& params, const TGatherFailed& failed) {
  return Gather(values, params, failed);
}

std::vector<std::string> GatherAllValues(const TFormValues& values, TParamList& into) {
  std::vector<std::string> failures;
  Gather(values, into, [&failures](const std::string& text) {
    failures.push_back(text);
    return false;
  });
  return failures;
}
