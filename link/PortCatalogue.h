// The one catalogue of port names and their devices that every face and the simulated unit use:
// the names COM1 to COM24, and the settings store ("Mirotan", "TindraSetup") whose group
// "Ports" maps a name to another device ("Ports/COM3=/dev/pts/5"). A simulated unit that
// registered a name notes its process under "Simulated/<name>".
#pragma once

#include <string>
#include <vector>

namespace PortCatalogue {
inline constexpr const char* Organization = "Mirotan";
inline constexpr const char* Application = "TindraSetup";
inline constexpr int PortCount = 24;

inline std::string PortName(int number) { return "COM" + std::to_string(number); }
inline std::vector<std::string> PortNames() {
  std::vector<std::string> names;
  for (int i = 1; i <= PortCount; ++i) names.push_back(PortName(i));
  return names;
}
// The store's keys of a port name.
inline std::string DeviceKey(const std::string& name) { return "Ports/" + name; }
inline std::string SimulatedKey(const std::string& name) { return "Simulated/" + name; }
}  // namespace PortCatalogue
