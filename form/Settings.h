// The per-user settings store ("Mirotan", "TindraSetup"): the window position, the three stored
// properties of the window, and the group "Ports" that maps a port name to a device path.
#pragma once

#include <string>

// The device that the port name opens: "Ports/<name>" of the store when present (read afresh,
// since the simulated unit may have written it meanwhile) and not left behind by a simulated
// unit that no longer runs, else the default device path.
std::string StoredPortDevice(const std::string& portName);
// The store's file, for watching it for a port name given another device.
std::string SettingsFileName();
