// The parameter set as a table: the 46 keys in file order, each with the controls it comes from,
// the kind of its value, its place in the order of applying and its default.
//
// Gathering walks the rows in file order (the order it appends them), applying walks them in
// their applying order, the judgement of a value names their controls, and the device-code table
// refers to them by key instead of naming controls again. The rows are data; what a kind means
// lives in the walks. The rules that the order carries stay named in the rows: a check that runs
// before a row is gathered, and a rule that runs after a row is applied.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <span>
#include <string_view>

// What a key's value is and how its controls hold it.
enum class TParamKind {
  Text,    // an edit's text, blanks and control characters around it dropped when gathered
  Number,  // a spin edit's value divided by `Scale`; applied as the number times `Scale`
  List,    // a drop-down list's item index, -1 for none
  Check,   // a check box: "1" checked, "0" not; any number but 0 checks it
  Phone,   // an edit's decimal digits; blanks, "+", "-", "(" and ")" dropped, others refused
  Address,  // a server's edit and its "Не использовать" box: the packed address, 0 when unused
  Packed,  // several controls packed into one number (`Packing` says how)
};

enum class TPacking { None, Vibro, Sleep };

// A check of the user's input that gathering makes before it appends the row. A phone's and an
// address's own checks belong to their kinds.
enum class TGatherCheck {
  None,
  OpenPwdDigits,     // the disarming password holds digits only
  ModeRules,         // SMS password, notification period, sleeping mode, in that order
  PhoneTypeChosen,   // the phone's SMS type is chosen
  ControlSmsChosen,  // the mode of SMS requests is chosen
};

// A rule of the interlocks that applying runs after the row. The lists set by the program raise
// no notification, so the rule is run here, once the values it judges are all in place.
enum class TApplyRule {
  None,
  SensorRule,  // CBSensorModeChange: after "PIRMode", "VibroMode" and "BothAlarm"
};

// When applying puts the row into its controls at all.
enum class TApplyCondition {
  Always,
  ManualCorrCoef,  // only while CBManualCorrCoef is checked
};

struct TParamRow {
  std::string_view Key;
  std::array<std::string_view, 3> Controls;  // the first is the one that holds the value
  TParamKind Kind;
  int ApplyPosition;  // 1-based place in the order of applying
  int Default = 0;    // what applying gives a missing key or a number that does not read
  int Scale = 1;      // the file counts in units of `Scale` of the control
  TPacking Packing = TPacking::None;
  TGatherCheck CheckBefore = TGatherCheck::None;
  TApplyRule RuleAfter = TApplyRule::None;
  TApplyCondition Condition = TApplyCondition::Always;
};

inline constexpr std::size_t ParamCount = 46;

namespace ParamTableRows {
using K = TParamKind;
using G = TGatherCheck;
using A = TApplyRule;
using P = TPacking;

// File order. Per row: the key, its controls, the kind, the place in the applying order, then
// where it differs from the plain case: the default, the scale, the packing, the check before
// gathering, the rule after applying, the condition of applying.
// clang-format off
inline constexpr TParamRow Rows[] = {
    {"AddrServer1",   {"EdServer1", "CBServer1"}, K::Address, 10},
    {"AddrServer2",   {"EdServer2", "CBServer2"}, K::Address, 11},
    {"AddrServer3",   {"EdServer3", "CBServer3"}, K::Address, 12},
    // The disarming password is judged after the servers, before the first text.
    {"GPRSUser",      {"EdLoginE"},        K::Text,    1, 0, 1, P::None, G::OpenPwdDigits},
    {"GPRSPwd",       {"EdPwdE"},          K::Text,    2},
    {"GPRSSite",      {"EdAPNE"},          K::Text,    3},
    {"GPRSUserInt",   {"EdLoginI"},        K::Text,    4},
    {"GPRSPwdInt",    {"EdPwdI"},          K::Text,    5},
    {"GPRSSiteInt",   {"EdAPNI"},          K::Text,    6},
    {"BalanceRq",     {"EdRqBalance"},     K::Text,    7},
    {"BalanceLimit",  {"SELimitBal"},      K::Number,  8, 0, 10},
    {"BalancePeriod", {"SEPeriodBal"},     K::Number,  9},
    {"DelayAlarm",    {"SEDelay"},         K::Number, 13},
    {"CloseDelay",    {"SECloseDelay"},    K::Number, 14},
    {"PIRMode",       {"CBPIRMode"},       K::List,   15},
    {"BothAlarm",     {"CBBothAlarm"},     K::List,   17},
    {"VibroMode",     {"CBVibroMode", "SEVibroSens"}, K::Packed, 16, 0, 1, P::Vibro},
    {"ChangeCoord",   {"CBChangeCoord"},   K::List,   18},
    {"LoadEfemerids", {"CBLoadEfemerids"}, K::Check,  31, 1},
    {"UseAGPS",       {"CBUseAGPS"},       K::Check,  32, 1},
    {"SelSIMMode",    {"CBSelSIMMode"},    K::List,   33, 2},
    {"TimeZone",      {"SETimeZone"},      K::Number, 19},
    {"UseGPS",        {"CBGPS"},           K::List,   20},
    {"UseCellInfo",   {"CBCellInfo"},      K::List,   21},
    {"SendLinkFault", {"CBSendLinkFault"}, K::Check,  22},
    {"OpenCloseSMS",  {"CBOpClsSMS"},      K::Check,  34},
    // Decoding runs the sleep rule, which clears the two boxes without the sleeping mode.
    {"SleepMode",     {"CBSleepMode", "CBSleepMsg", "CBSleepKeyb"}, K::Packed, 36, 0, 1, P::Sleep},
    {"SleepTime",     {"SESleep"},         K::Number, 37, 24},
    {"LowBatMsg",     {"CBLowBatMsg"},     K::Check,  35},
    {"RingMode",      {"CBRingMode"},      K::List,   44},
    {"RingDuration",  {"SERingDuration"},  K::Number, 45, 2},
    {"RingLevel",     {"SERingLevel"},     K::Number, 46, 11},
    {"Period",        {"CBPeriod"},        K::List,   23, 0, 1, P::None, G::ModeRules},
    {"EnSMS1",        {"CBPhone1"},        K::List,   39, 0, 1, P::None, G::PhoneTypeChosen},
    {"PhoneSMS1",     {"EdPhone1"},        K::Phone,  38},
    {"EnSMS2",        {"CBPhone2"},        K::List,   41, 0, 1, P::None, G::PhoneTypeChosen},
    {"PhoneSMS2",     {"EdPhone2"},        K::Phone,  40},
    {"EnSMS3",        {"CBPhone3"},        K::List,   43, 0, 1, P::None, G::PhoneTypeChosen,
                                                          A::SensorRule},
    {"PhoneSMS3",     {"EdPhone3"},        K::Phone,  42},
    {"Brightness",    {"SEBrightness"},    K::Number, 24},
    {"CorrCoef",      {"SECorrCoef"},      K::Number, 25, 0, 1, P::None, G::None, A::None,
                                                          TApplyCondition::ManualCorrCoef},
    {"PINCodeInt",    {"EdPINI"},          K::Text,   27},
    {"PINCode",       {"EdPINE"},          K::Text,   26},
    {"SMSPwd",        {"EdSMSPwd"},        K::Text,   28},
    {"OpenPwd",       {"EdOpenPwd"},       K::Text,   29},
    {"ControlSMS",    {"CBControlSMS"},    K::List,   30, 0, 1, P::None, G::ControlSmsChosen},
};
// clang-format on
static_assert(std::size(Rows) == ParamCount, "one row per key of the parameter set");

constexpr bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

constexpr bool ApplyPositionsArePermutation() {
  std::array<bool, ParamCount + 1> seen{};
  for (const auto& row : Rows) {
    if (row.ApplyPosition < 1 || row.ApplyPosition > static_cast<int>(ParamCount)) return false;
    if (seen[static_cast<std::size_t>(row.ApplyPosition)]) return false;
    seen[static_cast<std::size_t>(row.ApplyPosition)] = true;
  }
  return true;
}
static_assert(ApplyPositionsArePermutation(), "each key needs its own place in the applying order");

constexpr int ApplyPositionOf(std::string_view key) {
  for (const auto& row : Rows)
    if (row.Key == key) return row.ApplyPosition;
  return 0;
}

// The sensor rule judges the two sensors and "BothAlarm": it runs once all three are applied.
constexpr bool SensorRuleFollowsSensors() {
  for (const auto& row : Rows)
    if (row.RuleAfter == A::SensorRule)
      return row.ApplyPosition >= ApplyPositionOf("PIRMode") &&
             row.ApplyPosition >= ApplyPositionOf("VibroMode") &&
             row.ApplyPosition >= ApplyPositionOf("BothAlarm");
  return false;
}
static_assert(SensorRuleFollowsSensors(), "the sensor rule runs after the sensors are applied");

constexpr std::array<const TParamRow*, ParamCount> SortByApplyPosition() {
  std::array<const TParamRow*, ParamCount> order{};
  for (const auto& row : Rows) order[static_cast<std::size_t>(row.ApplyPosition) - 1] = &row;
  return order;
}
inline constexpr std::array<const TParamRow*, ParamCount> ApplyRows = SortByApplyPosition();
}  // namespace ParamTableRows

// All rows, in file order (the order gathering appends them).
constexpr std::span<const TParamRow, ParamCount> ParamTable() { return ParamTableRows::Rows; }
// The same rows, in the order of applying.
constexpr std::span<const TParamRow* const, ParamCount> ApplyOrder() {
  return ParamTableRows::ApplyRows;
}

// The place of `key` in file order (letter case ignored, as the parameter set reads keys);
// ParamCount for a key the set does not have. For tables built at compile time, where comparing
// pointers is not constant under the sanitizers.
constexpr std::size_t ParamIndex(std::string_view key) {
  std::size_t i = 0;
  while (i < ParamCount && !ParamTableRows::SameKey(ParamTableRows::Rows[i].Key, key)) ++i;
  return i;
}

// The row of `key`; nullptr for a key the set does not have.
constexpr const TParamRow* FindParam(std::string_view key) {
  const std::size_t i = ParamIndex(key);
  return i < ParamCount ? &ParamTableRows::Rows[i] : nullptr;
}
