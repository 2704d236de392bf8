// Port discovery: tries every port in order and takes the first whose unit gives a usable
// version answer.
#include <exception>
#include <string>

#include "link/Text.h"
#include "link/VestraError.h"
#include "service/Service.h"

TFoundPort FindPort(TUnitSession& session, std::span<const std::string> ports) {
  TLink& link = session.Link;
  TPerson* person = session.Person();
  // Also ends a monitor connection; the monitor reopens the selected port on its next tick.
  link.ClosePort();
  TFoundPort found;
  for (std::size_t index = 0; index < ports.size() && !found.Index; ++index) {
    const std::string& port = ports[index];
    if (person) person->ShowWait("Проверяю порт " + Cp1251ToUtf8(port) + "...");
    try {
      const std::string error = link.OpenPort(port);
      if (!error.empty()) throw EVestraError(error);
      found.Version = link.ReadVersion();
      if (!found.Version.empty()) found.Index = index;
    } catch (const std::exception&) {
      // Anything wrong on this port only means there is no unit here.
    }
    link.ClosePort();
  }
  if (person) person->HideWait();
  return found;
}
