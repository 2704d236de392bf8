// What the simulated unit answers, apart from how and when the bytes travel.
//
// `TSimDevice` holds a value for each device code, the firmware version and the answers chosen
// on the command line, and turns one received command into its answer. The serving loop
// (main.cpp) adds the timing and the misbehaviour. All texts are Windows-1251 bytes.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

class TSimDevice {
 public:
  enum class TVersionForm { Short, Named };

  TSimDevice();

  std::string Firmware = "3.00";
  TVersionForm VersionForm = TVersionForm::Short;
  // Device code -> value text.
  std::map<std::string, std::string> Values;
  // Code or command key (V, T, P, WL00, S) -> error code text / whole answer text.
  std::map<std::string, std::string> Errors;
  std::map<std::string, std::string> Replies;
  // Codes whose value no "#W" changes (the write is still answered "#OK").
  std::set<std::string> Kept;

  // The answer to one command (without its CR), the final CR included; nothing for a command
  // that gets no answer.
  std::optional<std::string> Answer(const std::string& command);

  // int((x + 0.001) * 100) of the firmware text; 0 when it is not a number.
  int VersionNumber() const;
  // Whether this firmware carries the code.
  bool Carries(const std::string& code) const;
  static bool IsKnownCode(const std::string& code);
};
