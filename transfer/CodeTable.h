// The unit's configuration as a table of device codes.
//
// The unit holds its settings as parameters named by three-character codes ("G01", "M05"). Each
// row of `CodeTable` says which controls a code fills when the configuration is read, which keys
// of the parameter set it is written from, how the value text is converted in each direction,
// from which firmware version on the unit carries it, and where it stands in the read order and
// in the write order. The keys and their controls are those of the parameter set's own table
// (params/ParamTable.h): a row names the keys it carries, and its controls follow from them.
// Reading and writing the configuration walk this table and nothing else, so a new code is one
// new row.
//
// The firmware version text becomes an integer version number (2.07 -> 207) once per operation;
// the rows' thresholds are compared against it.
#pragma once

#include <array>
#include <climits>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

class TFormValues;
class TParamList;

// How a value text read from the unit reaches the form.
enum class TReadConversion {
  Text,          // the edit shows the text unchanged
  Value,         // spin edit value = integer
  ValueTimes10,  // spin edit value = integer x 10 (the unit counts in tens)
  Index,         // drop-down list index = integer
  IndexCapped3,  // as Index, any value above 3 becomes 3
  Checked,       // check box checked when the integer is not 0
  SmsTypes,      // one digit per phone, CBPhone1..CBPhone3; fewer than three is an error
  SensorBits,    // bit 0: CBPIRMode; bit 1 decides whether the vibration code is read at all
  VibroMode,     // DecodeVibroMode(integer)
  SleepMode,     // DecodeSleepMode(integer)
  Server,  // "a,b,c,d" -> edit "a.b.c.d", its "Не использовать" box when it does not pack
};

// How a value text for the unit is formed from the parameter set.
enum class TWriteConversion {
  AsIs,         // the key's text unchanged
  JoinedSms,    // the three keys joined with ","
  SensorBits,   // 1 when the first key is not 0, plus 2 when the second is not 0
  UseGps,       // below version 200 a non-zero value is sent as "255"
  ServerBytes,  // packed address, four bytes lowest first, joined with ","
};

// When a row is read or written beyond its version threshold.
enum class TCondition {
  Always,
  VibroBitSet,        // read only when the sensor code had bit 1 set
  ManualCorrCoefSet,  // written only while CBManualCorrCoef is checked
};

// How one code is read: the controls it fills (unused names empty), the conversion, what an
// integer that does not read gives, and when it is asked for at all.
struct TReadRule {
  std::array<std::string_view, 3> Controls;
  TReadConversion Conversion;
  int Default = 0;
  TCondition Condition = TCondition::Always;
};

// How one code is written: the keys of the parameter set it is formed from, the conversion, and
// when it is sent at all.
struct TWriteRule {
  std::array<std::string_view, 3> Keys;
  TWriteConversion Conversion;
  TCondition Condition = TCondition::Always;
};

// The threshold of a code that every version carries, the absurd ones below zero included.
inline constexpr int AllVersions = INT_MIN;

struct TCodeRow {
  std::string_view Code;
  int ReadPosition;   // 1-based place in the read order
  int WritePosition;  // 1-based place in the write order
  int FromVersion;    // lowest version number that carries the code; AllVersions for every one
  TReadRule Read;
  TWriteRule Write;
};

inline constexpr std::size_t CodeCount = 44;

// All rows, in read order.
std::span<const TCodeRow, CodeCount> CodeTable();
// The same rows, in write order.
std::span<const TCodeRow* const, CodeCount> WriteOrder();

// The version number of a firmware version text: the integer part of (x + 0.001) x 100, x being
// the text read as a decimal number with "." as the separator. Raises EVestraError
// "'<text>' is not a valid floating point value" for a text that is not such a number.
int VersionNumber(std::string_view versionText);

// Whether the unit of that version number carries the code.
inline bool Carries(const TCodeRow& row, int versionNumber) {
  return versionNumber >= row.FromVersion;
}

// What the read walk carries from one row to the next.
struct TReadState {
  bool VibroBit = false;  // the sensor code had bit 1 set
};

// The read conversion: puts `value` (Windows-1251) into the row's controls. Raises EVestraError
// "Неверный ответ RAD" for an SMS-type list of fewer than three digits (the digits found are
// kept).
void ApplyReadValue(TFormValues& form, const TCodeRow& row, std::string_view value,
                    TReadState& state);

// The write conversion: the value text (Windows-1251) sent for the row. Never fails.
std::string FormWriteValue(const TCodeRow& row, const TParamList& params, int versionNumber);

// The clock command for a local time: "#T yy,mm,dd,hh,nn,ss\r".
std::string ClockCommand(const std::tm& localTime);
