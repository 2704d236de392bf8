#include "link/PortFailure.h"

#include "link/PortHolder.h"
#include "link/SerialPort.h"

namespace {

// The errors a person can mend, with what to say instead of (or after) the system's text.
struct TFailureRow {
  bool (*Is)(TSystemError);
  const char* Text;
  bool AfterSystemText;
};

constexpr TFailureRow kFailures[] = {
    {SerialPort::IsMissing, "нет такого устройства", false},
    // Serial devices belong to the group dialout; a user outside it gets only EACCES.
    {SerialPort::IsRefused,
     ". Порты доступны группе dialout: sudo usermod -aG dialout $USER, затем войдите в систему "
     "заново",
     true},
};

}  // namespace

std::string OpenFailureText(const std::string& name, const std::string& path,
                            TSystemError error) {
  if (name.empty()) return "Порт не выбран: выберите его в опциях или нажмите «Найти»";
  // The system's text alone ("Device or resource busy") leaves the person guessing who.
  if (SerialPort::IsBusy(error)) return BusyPortText(name, path);
  // Windows' own device of a name (\\.\COM5) tells nothing the name does not.
  const bool plain = path.empty() || path == name || path == "\\\\.\\" + name;
  const std::string where = plain ? name : name + " (" + path + ")";
  for (const TFailureRow& row : kFailures) {
    if (!row.Is(error)) continue;
    if (!row.AfterSystemText) return where + ": " + row.Text;
    return where + ": " + SerialPort::ErrorText(error) + row.Text;
  }
  return where + ": " + SerialPort::ErrorText(error);
}
