#include "sim/Device.h"

#include <charconv>
#include <cstdlib>

namespace {

struct TCode {
  const char* Code;
  int From;  // lowest version number that carries it
  const char* Value;
};

// Values a unit in service might hold: two SIM profiles, three phones, a balance check, the
// sensors on, the servers in the unit's comma form.
constexpr TCode kCodes[] = {
    {"G01", 0, "gprs"},
    {"G02", 0, "gprs"},
    {"G03", 0, "internet.example"},
    {"G04", 0, "0000"},
    {"G11", 200, "user"},
    {"G12", 200, "secret"},
    {"G13", 200, "apn.example"},
    {"G14", 200, "1111"},
    {"G05", 200, "2"},
    {"E01", 0, "1,0,2"},
    {"P01", 0, "+70000000001"},
    {"P02", 0, "+70000000002"},
    {"P03", 0, "+70000000003"},
    {"B01", 0, "25"},
    {"B02", 0, "24"},
    {"B03", 0, "*100#"},
    {"C01", 0, "180"},
    {"M01", 0, "3"},
    {"M02", 0, "4"},
    {"M03", 0, "4"},
    {"M04", 0, "3"},
    {"M05", 0, "101"},
    {"M06", 0, "1"},
    {"M07", 0, "1234"},
    {"M08", 0, "1"},
    {"M09", 0, "1"},
    {"M10", 0, "3"},
    {"M11", 0, "178"},
    {"M12", 0, "30"},
    {"M13", 0, "4321"},
    {"M14", 0, "0"},
    {"M15", 0, "1"},
    {"M16", 200, "1"},
    {"M17", 200, "0"},
    {"M18", 207, "1"},
    {"M19", 208, "3"},
    {"M20", 208, "24"},
    {"M21", 208, "1"},
    {"R01", 300, "1"},
    {"R02", 300, "2"},
    {"R03", 300, "11"},
    {"S01", 0, "192,0,2,10"},
    {"S02", 0, "198,51,100,20"},
    {"S03", 0, "0,0,0,0"},
};

const TCode* FindCode(const std::string& code) {
  for (const auto& c : kCodes)
    if (code == c.Code) return &c;
  return nullptr;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// "yy,mm,dd,hh,nn,ss": six two-digit fields.
bool IsClockText(const std::string& text) {
  if (text.size() != 17) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool comma = i % 3 == 2;
    if (comma ? text[i] != ',' : (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

}  // namespace

TSimDevice::TSimDevice() {
  for (const auto& c : kCodes) Values[c.Code] = c.Value;
}

int TSimDevice::VersionNumber() const {
  // strtod follows the C locale here (the program never sets another), so "." separates.
  const char* begin = Firmware.c_str();
  char* end = nullptr;
  double x = std::strtod(begin, &end);
  if (end == begin || *end != '\0') return 0;
  return static_cast<int>((x + 0.001) * 100);
}

bool TSimDevice::IsKnownCode(const std::string& code) { return FindCode(code) != nullptr; }

bool TSimDevice::Carries(const std::string& code) const {
  const TCode* c = FindCode(code);
  return c && VersionNumber() >= c->From;
}

std::optional<std::string> TSimDevice::Answer(const std::string& command) {
  // Which key the command answers to, for the chosen replies and errors.
  std::string key;
  if (command == "#WL00")
    key = "WL00";
  else if (StartsWith(command, "#R") || StartsWith(command, "#W"))
    key = command.substr(2, 3);
  else if (command == "#V" || command == "#P" || command == "#S")
    key = command.substr(1);
  else if (StartsWith(command, "#T"))
    key = "T";

  if (auto r = Replies.find(key); !key.empty() && r != Replies.end()) return r->second + "\r";
  if (auto e = Errors.find(key); !key.empty() && e != Errors.end())
    return "#ERR" + e->second + "\r";

  if (key == "V") {
    if (VersionForm == TVersionForm::Named) return "#Vestra GSM/GPS v" + Firmware + "\r";
    return "#V " + Firmware + "\r";
  }
  if (key == "P" || key == "WL00") return std::string("#OK\r");
  if (key == "S") return std::nullopt;  // the last command of a write; nobody reads an answer
  if (key == "T")
    return command.size() > 3 && command[2] == ' ' && IsClockText(command.substr(3)) ? "#OK\r"
                                                                                     : "#ERR1\r";
  if (StartsWith(command, "#R")) {
    if (command.size() != 5) return std::string("#ERR1\r");
    if (!Carries(key)) return std::string("#ERR2\r");
    return "#R" + key + " " + Values[key] + "\r";
  }
  if (StartsWith(command, "#W")) {
    if (command.size() < 6 || command[5] != ' ') return std::string("#ERR1\r");
    if (!Carries(key)) return std::string("#ERR2\r");
    if (!Kept.count(key)) Values[key] = command.substr(6);
    return std::string("#OK\r");
  }
  return std::string("#ERR1\r");
}
