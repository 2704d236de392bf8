// The per-user settings store as every face reads it: the device each port name opens, and the
// options the window keeps (the selected port, the calibration and clock choices, the check after
// a write). Only the window writes them (form/Settings.cpp).
#pragma once

#include <optional>
#include <string>

// The device that the port name opens: "Ports/<name>" of the store when present (read afresh,
// since the simulated unit may have written it meanwhile) and not left behind by a simulated
// unit that no longer runs, else the default device path.
std::string StoredPortDevice(const std::string& portName);
// The store's file, for watching it for a port name given another device.
std::string SettingsFileName();

// The options as stored; a value that does not read as its type is none, not guessed at.
struct TStoredOptions {
  std::optional<int> PortIndex;  // in COM1..COM24
  std::optional<bool> ManualCorrCoef, SetTime, Verify;
};
TStoredOptions ReadStoredOptions();
void WriteStoredOptions(int portIndex, bool manualCorrCoef, bool setTime, bool verify);
