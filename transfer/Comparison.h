// Comparing the unit's configuration with the program's, code by code, on the protocol level.
//
// A write sends exactly the codes a comparison compares with (`TUnitSession::PlannedWrite`);
// comparing reads each back and keeps those whose text differs, and so does the verification
// after a write, once the unit answers again. Comparing the texts themselves, not the controls
// they fill, means a conversion shared by both directions cannot hide a difference; how a
// difference reads for a person is transfer/Differences.h's. All value texts are Windows-1251
// bytes, as on the line.
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <vector>

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
