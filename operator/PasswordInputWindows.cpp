// The window program has no console on Windows: the password comes as a line of standard input
// (a pipe or a file), with the CR of Windows' line ends dropped.
#include <iostream>
#include <string>

#include "link/VestraError.h"
#include "operator/PasswordInput.h"

QString ReadPassword(const char*) {
  std::string line;
  if (!std::getline(std::cin, line)) throw EVestraError("Пароль не введён");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return QString::fromUtf8(line);
}
