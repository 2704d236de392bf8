// The one error type of the program: a failure of a device or file operation, carrying the text
// (UTF-8, usually Russian) that the user is shown in the "Ошибка" box.
#pragma once

#include <stdexcept>
#include <string>

class EVestraError : public std::runtime_error {
 public:
  explicit EVestraError(const std::string& message) : std::runtime_error(message) {}
};
