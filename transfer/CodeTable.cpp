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
#include "params/ParamTable.h"

namespace {

using R = TReadConversion;
using W = TWriteConversion;
using C = TCondition;
constexpr int All = AllVersions;

// A row as written below: the keys of the parameter set the code carries, whose rows give the
// controls it fills when read; the rest as in TCodeRow.
struct TCodeEntry {
  std::string_view Code;
  int ReadPosition, WritePosition, FromVersion;
  std::array<std::string_view, 3> Keys;
  R Read;
  W Write;
  int ReadDefault = 0;
  C ReadCondition = C::Always;
  C WriteCondition = C::Always;
};

// Read order. Per row: the code, its places in the read and the write order, the lowest
// version number that carries it (All: every version), the keys it carries, how it is read and
// how it is written; then where it differs from the plain case: the default of an integer that
// does not read, the condition of the read and of the write.
// clang-format off
constexpr TCodeEntry Entries[] = {
    {"G01",  1,  9, All, {"GPRSUser"},      R::Text,         W::AsIs},
    {"G02",  2, 10, All, {"GPRSPwd"},       R::Text,         W::AsIs},
    {"G03",  3, 11, All, {"GPRSSite"},      R::Text,         W::AsIs},
    {"G04",  4, 43, All, {"PINCode"},       R::Text,         W::AsIs},
    {"G11",  5, 12, 200, {"GPRSUserInt"},   R::Text,         W::AsIs},
    {"G12",  6, 13, 200, {"GPRSPwdInt"},    R::Text,         W::AsIs},
    {"G13",  7, 14, 200, {"GPRSSiteInt"},   R::Text,         W::AsIs},
    {"G14",  8, 44, 200, {"PINCodeInt"},    R::Text,         W::AsIs},
    {"E01",  9,  1, All, {"EnSMS1", "EnSMS2", "EnSMS3"}, R::SmsTypes, W::JoinedSms},
    {"P01", 10,  2, All, {"PhoneSMS1"},     R::Text,         W::AsIs},
    {"P02", 11,  3, All, {"PhoneSMS2"},     R::Text,         W::AsIs},
    {"P03", 12,  4, All, {"PhoneSMS3"},     R::Text,         W::AsIs},
    {"B01", 13,  5, All, {"BalanceLimit"},  R::ValueTimes10, W::AsIs},
    {"B02", 14,  6, All, {"BalancePeriod"}, R::Value,        W::AsIs},
    {"B03", 15,  7, All, {"BalanceRq"},     R::Text,         W::AsIs},
    {"C01", 16,  8, All, {"Brightness"},    R::Value,        W::AsIs},
    {"M01", 17, 15, All, {"TimeZone"},      R::Value,        W::AsIs},
    {"M02", 18, 16, All, {"Period"},        R::Index,        W::AsIs},
    {"M03", 19, 17, All, {"DelayAlarm"},    R::Value,        W::AsIs},
    {"M12", 20, 27, All, {"CloseDelay"},    R::Value,        W::AsIs},
    {"M10", 21, 25, All, {"PIRMode", "VibroMode"}, R::SensorBits, W::SensorBits},
    {"M11", 22, 26, All, {"VibroMode"},     R::VibroMode,    W::AsIs, 0, C::VibroBitSet},
    {"M14", 23, 28, All, {"BothAlarm"},     R::Index,        W::AsIs},
    {"M15", 24, 29, All, {"ChangeCoord"},   R::Index,        W::AsIs},
    {"M04", 25, 18, All, {"UseGPS"},        R::IndexCapped3, W::UseGps},
    {"M08", 26, 19, All, {"UseCellInfo"},   R::Index,        W::AsIs},
    {"M09", 27, 20, All, {"SendLinkFault"}, R::Checked,      W::AsIs},
    {"M05", 28, 21, All, {"CorrCoef"},      R::Value,        W::AsIs, 0, C::Always,
                                                             C::ManualCorrCoefSet},
    {"M06", 29, 22, All, {"ControlSMS"},    R::Index,        W::AsIs},
    {"M07", 30, 23, All, {"SMSPwd"},        R::Text,         W::AsIs},
    {"M13", 31, 24, All, {"OpenPwd"},       R::Text,         W::AsIs},
    {"M16", 32, 30, 200, {"LoadEfemerids"}, R::Checked,      W::AsIs},
    {"M17", 33, 31, 200, {"UseAGPS"},       R::Checked,      W::AsIs},
    {"G05", 34, 32, 200, {"SelSIMMode"},    R::Index,        W::AsIs, 1},
    {"M18", 35, 33, 207, {"OpenCloseSMS"},  R::Checked,      W::AsIs},
    {"M19", 36, 34, 208, {"SleepMode"},     R::SleepMode,    W::AsIs},
    {"M20", 37, 35, 208, {"SleepTime"},     R::Value,        W::AsIs},
    {"M21", 38, 36, 208, {"LowBatMsg"},     R::Checked,      W::AsIs},
    {"R01", 39, 37, 300, {"RingMode"},      R::Index,        W::AsIs},
    {"R02", 40, 38, 300, {"RingDuration"},  R::Value,        W::AsIs, 2},
    {"R03", 41, 39, 300, {"RingLevel"},     R::Value,        W::AsIs, 11},
    {"S01", 42, 40, All, {"AddrServer1"},   R::Server,       W::ServerBytes},
    {"S02", 43, 41, All, {"AddrServer2"},   R::Server,       W::ServerBytes},
    {"S03", 44, 42, All, {"AddrServer3"},   R::Server,       W::ServerBytes},
};
// clang-format on
static_assert(std::size(Entries) == CodeCount, "one row per device code");

// The controls a read fills: those of the rows it carries. The sensor bits fill only the PIR
// list; the vibration sensor's controls are the next code's.
constexpr std::array<std::string_view, 3> ReadControls(const TCodeEntry& entry) {
  std::array<std::string_view, 3> controls{};
  std::size_t filled = 0;
  const std::size_t rows = entry.Read == R::SensorBits ? 1 : entry.Keys.size();
  for (std::size_t k = 0; k < rows && !entry.Keys[k].empty(); ++k) {
    const std::size_t index = ParamIndex(entry.Keys[k]);
    // A key the parameter set does not have is no constant: the table does not build.
    if (index == ParamCount) throw "unknown key";
    const TParamRow& row = ParamTable()[index];
    // Indexed: GCC 12 takes a range-for over another table's row for a change of that table.
    for (std::size_t c = 0; c < row.Controls.size(); ++c) {
      if (row.Controls[c].empty()) continue;
      if (filled == controls.size()) throw "more than three controls";
      controls[filled++] = row.Controls[c];
    }
  }
  return controls;
}

// The keys a write is formed from, as the parameter set spells them.
constexpr std::array<std::string_view, 3> WriteKeys(const TCodeEntry& entry) {
  std::array<std::string_view, 3> keys{};
  for (std::size_t k = 0; k < keys.size() && !entry.Keys[k].empty(); ++k)
    keys[k] = ParamTable()[ParamIndex(entry.Keys[k])].Key;
  return keys;
}

constexpr std::array<TCodeRow, CodeCount> BuildRows() {
  std::array<TCodeRow, CodeCount> rows{};
  for (std::size_t i = 0; i < CodeCount; ++i) {
    const TCodeEntry& entry = Entries[i];
    TCodeRow& row = rows[i];
    row.Code = entry.Code;
    row.ReadPosition = entry.ReadPosition;
    row.WritePosition = entry.WritePosition;
    row.FromVersion = entry.FromVersion;
    row.Read = {ReadControls(entry), entry.Read, entry.ReadDefault, entry.ReadCondition};
    row.Write = {WriteKeys(entry), entry.Write, entry.WriteCondition};
  }
  return rows;
}
constexpr std::array<TCodeRow, CodeCount> Rows = BuildRows();

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
