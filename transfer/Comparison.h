// Comparing the unit's configuration with the program's, code by code, on the protocol level.
//
// `PlannedWrite` walks the code table as a write does and gives the codes a write of the current
// parameter set would send, with their value texts; the write sends exactly that list.
// `CompareWithUnit` reads each of those codes back and keeps those whose text differs;
// `VerifyWrite` does the same after a write, once the unit answers again. Comparing the texts
// themselves, not the controls they fill, means a conversion shared by both directions cannot
// hide a difference; what a difference means to a person, in the window's own words, is the
// window's concern (form/Captions.h). All value texts are Windows-1251 bytes, as on the line.
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <vector>

class TFmMain;

// One code as a write sends it: the code ("G01") and its value text.
struct TCodeValue {
  std::string Code;
  std::string Value;
  bool operator==(const TCodeValue&) const = default;
};

// A code whose text in the unit differs from the expected text.
struct TCodeDifference {
  std::string Code;
  std::string Expected;
  std::string Actual;
  bool operator==(const TCodeDifference&) const = default;
};

// How long a unit may stay silent after a write's final command: it may restart to store its
// settings.
inline constexpr std::chrono::seconds RestartDeadline{15};

// The codes that a write of the current `ParamList` (already gathered) sends to a unit of that
// version number, in write order, with their value texts.
std::vector<TCodeValue> PlannedWrite(const TFmMain& form, int versionNumber);

// Over the open link: reads every code of `expected` with `Link.ReadParameter` (a code the unit
// does not support asks whether to go on, as a read does, and reads as the empty text) and
// returns the codes whose text differs, in the order given.
std::vector<TCodeDifference> CompareWithUnit(TFmMain& form, std::span<const TCodeValue> expected);

// The codes a write forms from some keys of the parameter set, as they stand with one firmware:
// those the unit carries, and each key whose code it lacks (a write leaves that code out).
struct TFirmwareGap {
  std::string Key, Code;
};
struct TKeyCodes {
  std::vector<std::string> Carried;
  std::vector<TFirmwareGap> Lacking;
};
// In write order; keys are matched ignoring letter case.
TKeyCodes CodesOfKeys(std::span<const std::string> keys, int versionNumber);

// After a write's final command (transfer/Verification.cpp): lets the unit settle for the
// form's `SettleAfterSave`, then asks "#V" until an answer beginning with "#V" comes, dropping
// every other message (an "#OK" to "#S" is not the unit being back), and hears out the answers
// a slow unit still owes to the questions asked before, so that each read-back takes its own. When
// the device goes away meanwhile (a USB unit restarting drops off the bus) the port is closed and
// opened again once a device is back under the same port name. All of it within `RestartDeadline`
// of the call; then CompareWithUnit(sent). Raises EVestraError "Нет ответа от RAD" when the unit
// stays away.
std::vector<TCodeDifference> VerifyWrite(TFmMain& form, std::span<const TCodeValue> sent);
