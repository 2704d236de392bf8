#include "transfer/CodeTable.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

#include "link/Text.h"
#include "link/VestraError.h"
#include "params/Encodings.h"
#include "params/ParamList.h"

namespace {

using R = TReadConversion;
using W = TWriteConversion;
using C = TCondition;
constexpr int All = AllVersions;

// Read order. Per row: the code, its places in the read and the write order, the lowest
// version number that carries it (All: every version), then how it is read (controls, conversion,
// default of an integer that does not read, condition) and how it is written (keys, conversion,
// condition).
// clang-format off
constexpr std::array<TCodeRow, CodeCount> Rows{{
    {"G01",  1,  9, All, {{"EdLoginE"}, R::Text},                {{"GPRSUser"}, W::AsIs}},
    {"G02",  2, 10, All, {{"EdPwdE"}, R::Text},                  {{"GPRSPwd"}, W::AsIs}},
    {"G03",  3, 11, All, {{"EdAPNE"}, R::Text},                  {{"GPRSSite"}, W::AsIs}},
    {"G04",  4, 43, All, {{"EdPINE"}, R::Text},                  {{"PINCode"}, W::AsIs}},
    {"G11",  5, 12, 200, {{"EdLoginI"}, R::Text},                {{"GPRSUserInt"}, W::AsIs}},
    {"G12",  6, 13, 200, {{"EdPwdI"}, R::Text},                  {{"GPRSPwdInt"}, W::AsIs}},
    {"G13",  7, 14, 200, {{"EdAPNI"}, R::Text},                  {{"GPRSSiteInt"}, W::AsIs}},
    {"G14",  8, 44, 200, {{"EdPINI"}, R::Text},                  {{"PINCodeInt"}, W::AsIs}},
    {"E01",  9,  1, All, {{"CBPhone1", "CBPhone2", "CBPhone3"}, R::SmsTypes},
                         {{"EnSMS1", "EnSMS2", "EnSMS3"}, W::JoinedSms}},
    {"P01", 10,  2, All, {{"EdPhone1"}, R::Text},                {{"PhoneSMS1"}, W::AsIs}},
    {"P02", 11,  3, All, {{"EdPhone2"}, R::Text},                {{"PhoneSMS2"}, W::AsIs}},
    {"P03", 12,  4, All, {{"EdPhone3"}, R::Text},                {{"PhoneSMS3"}, W::AsIs}},
    {"B01", 13,  5, All, {{"SELimitBal"}, R::ValueTimes10},      {{"BalanceLimit"}, W::AsIs}},
    {"B02", 14,  6, All, {{"SEPeriodBal"}, R::Value},            {{"BalancePeriod"}, W::AsIs}},
    {"B03", 15,  7, All, {{"EdRqBalance"}, R::Text},             {{"BalanceRq"}, W::AsIs}},
    {"C01", 16,  8, All, {{"SEBrightness"}, R::Value},           {{"Brightness"}, W::AsIs}},
    {"M01", 17, 15, All, {{"SETimeZone"}, R::Value},             {{"TimeZone"}, W::AsIs}},
    {"M02", 18, 16, All, {{"CBPeriod"}, R::Index},               {{"Period"}, W::AsIs}},
    {"M03", 19, 17, All, {{"SEDelay"}, R::Value},                {{"DelayAlarm"}, W::AsIs}},
    {"M12", 20, 27, All, {{"SECloseDelay"}, R::Value},           {{"CloseDelay"}, W::AsIs}},
    {"M10", 21, 25, All, {{"CBPIRMode"}, R::SensorBits},
                         {{"PIRMode", "VibroMode"}, W::SensorBits}},
    {"M11", 22, 26, All, {{"CBVibroMode", "SEVibroSens"}, R::VibroMode, 0, C::VibroBitSet},
                         {{"VibroMode"}, W::AsIs}},
    {"M14", 23, 28, All, {{"CBBothAlarm"}, R::Index},            {{"BothAlarm"}, W::AsIs}},
    {"M15", 24, 29, All, {{"CBChangeCoord"}, R::Index},          {{"ChangeCoord"}, W::AsIs}},
    {"M04", 25, 18, All, {{"CBGPS"}, R::IndexCapped3},           {{"UseGPS"}, W::UseGps}},
    {"M08", 26, 19, All, {{"CBCellInfo"}, R::Index},             {{"UseCellInfo"}, W::AsIs}},
    {"M09", 27, 20, All, {{"CBSendLinkFault"}, R::Checked},      {{"SendLinkFault"}, W::AsIs}},
    {"M05", 28, 21, All, {{"SECorrCoef"}, R::Value},
                         {{"CorrCoef"}, W::AsIs, C::ManualCorrCoefSet}},
    {"M06", 29, 22, All, {{"CBControlSMS"}, R::Index},           {{"ControlSMS"}, W::AsIs}},
    {"M07", 30, 23, All, {{"EdSMSPwd"}, R::Text},                {{"SMSPwd"}, W::AsIs}},
    {"M13", 31, 24, All, {{"EdOpenPwd"}, R::Text},               {{"OpenPwd"}, W::AsIs}},
    {"M16", 32, 30, 200, {{"CBLoadEfemerids"}, R::Checked},      {{"LoadEfemerids"}, W::AsIs}},
    {"M17", 33, 31, 200, {{"CBUseAGPS"}, R::Checked},            {{"UseAGPS"}, W::AsIs}},
    {"G05", 34, 32, 200, {{"CBSelSIMMode"}, R::Index, 1},        {{"SelSIMMode"}, W::AsIs}},
    {"M18", 35, 33, 207, {{"CBOpClsSMS"}, R::Checked},           {{"OpenCloseSMS"}, W::AsIs}},
    {"M19", 36, 34, 208, {{"CBSleepMode", "CBSleepMsg", "CBSleepKeyb"}, R::SleepMode},
                         {{"SleepMode"}, W::AsIs}},
    {"M20", 37, 35, 208, {{"SESleep"}, R::Value},                {{"SleepTime"}, W::AsIs}},
    {"M21", 38, 36, 208, {{"CBLowBatMsg"}, R::Checked},          {{"LowBatMsg"}, W::AsIs}},
    {"R01", 39, 37, 300, {{"CBRingMode"}, R::Index},             {{"RingMode"}, W::AsIs}},
    {"R02", 40, 38, 300, {{"SERingDuration"}, R::Value, 2},      {{"RingDuration"}, W::AsIs}},
    {"R03", 41, 39, 300, {{"SERingLevel"}, R::Value, 11},        {{"RingLevel"}, W::AsIs}},
    {"S01", 42, 40, All, {{"EdServer1", "CBServer1"}, R::Server}, {{"AddrServer1"}, W::ServerBytes}},
    {"S02", 43, 41, All, {{"EdServer2", "CBServer2"}, R::Server}, {{"AddrServer2"}, W::ServerBytes}},
    {"S03", 44, 42, All, {{"EdServer3", "CBServer3"}, R::Server}, {{"AddrServer3"}, W::ServerBytes}},
}};
// clang-format on

constexpr bool PositionsArePermutations() {
  std::array<bool, CodeCount + 1> write{};
  for (std::size_t i = 0; i < CodeCount; ++i) {
    const auto& row = Rows[i];
    if (row.ReadPosition != static_cast<int>(i) + 1) return false;  // table is in read order
    if (row.WritePosition < 1 || row.WritePosition > static_cast<int>(CodeCount)) return false;
    if (write[static_cast<std::size_t>(row.WritePosition)]) return false;
    write[static_cast<std::size_t>(row.WritePosition)] = true;
  }
  return true;
}
static_assert(PositionsArePermutations(), "each code needs its own place in both orders");

constexpr std::array<const TCodeRow*, CodeCount> SortByWritePosition() {
  std::array<const TCodeRow*, CodeCount> order{};
  for (const auto& row : Rows) order[static_cast<std::size_t>(row.WritePosition) - 1] = &row;
  return order;
}
constexpr std::array<const TCodeRow*, CodeCount> WriteRows = SortByWritePosition();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Delphi-style number text: blanks around, an optional sign, digits with at most one ".",
// an optional exponent. Anything else (trailing garbage, "inf", a comma) is not a number.
bool LooksLikeNumber(std::string_view s) {
  std::size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

std::span<const TCodeRow, CodeCount> CodeTable() { return Rows; }

std::span<const TCodeRow* const, CodeCount> WriteOrder() { return WriteRows; }

int VersionNumber(std::string_view versionText) {
  std::string_view s = versionText;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  double x = 0;
  bool ok = LooksLikeNumber(s);
  if (ok) {
    if (s.front() == '+') s.remove_prefix(1);
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), x);
    ok = error == std::errc() && end == s.data() + s.size() && std::isfinite(x);
  }
  if (!ok)
    throw EVestraError("'" + Cp1251ToUtf8(versionText) + "' is not a valid floating point value");
  // 0.001 lifts texts such as 2.07, whose double lies just below 2.07, back to their hundredth.
  double scaled = std::trunc((x + 0.001) * 100);
  // An absurd version still compares sensibly instead of overflowing the integer.
  if (scaled >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (scaled <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(scaled);
}

std::string FormWriteValue(const TCodeRow& row, const TParamList& params, int versionNumber) {
  const auto& keys = row.Write.Keys;
  switch (row.Write.Conversion) {
    case W::AsIs:
      return params.Value(keys[0]);
    case W::JoinedSms:
      return params.Value(keys[0]) + "," + params.Value(keys[1]) + "," + params.Value(keys[2]);
    case W::SensorBits:
      return std::to_string((params.Integer(keys[0], 0) != 0 ? 1 : 0) +
                            (params.Integer(keys[1], 0) != 0 ? 2 : 0));
    case W::UseGps:
      // Firmware before 2.00 knows only "off" and "on" (255).
      if (versionNumber < 200 && params.Integer(keys[0], 0) != 0) return "255";
      return params.Value(keys[0]);
    case W::ServerBytes:
      return UnpackIPAddress(params.Integer(keys[0], 0), ',');
  }
  return {};
}

std::string ClockCommand(const std::tm& t) {
  char text[96];
  std::snprintf(text, sizeof text, "#T %02d,%02d,%02d,%02d,%02d,%02d\r", (t.tm_year + 1900) % 100,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}
