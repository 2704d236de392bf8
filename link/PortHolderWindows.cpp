// A busy serial port on Windows: the system does not tell an ordinary user which program holds
// a device, so the text says only that one does.
#include "link/PortHolder.h"

std::optional<TPortHolder> FindPortHolder(const std::string&) { return std::nullopt; }

std::string BusyPortText(const std::string& name, const std::string&) {
  return name +
         ": порт занят другой программой. Закройте её (терминал, другой конфигуратор) и "
         "повторите";
}
