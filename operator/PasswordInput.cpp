#include "operator/PasswordInput.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "link/VestraError.h"

namespace {

// The terminal's echo off while it lives, back as it was after.
class TNoEcho {
 public:
  TNoEcho() {
    if (tcgetattr(STDIN_FILENO, &Saved) != 0) return;
    termios quiet = Saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    On = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~TNoEcho() {
    if (On) tcsetattr(STDIN_FILENO, TCSAFLUSH, &Saved);
  }
  TNoEcho(const TNoEcho&) = delete;
  TNoEcho& operator=(const TNoEcho&) = delete;

 private:
  termios Saved{};
  bool On = false;
};

}  // namespace

QString ReadPassword(const char* prompt) {
  const bool terminal = isatty(STDIN_FILENO) == 1;
  std::string line;
  {
    std::optional<TNoEcho> quiet;
    if (terminal) {
      std::fputs(prompt, stderr);
      quiet.emplace();
    }
    if (!std::getline(std::cin, line)) throw EVestraError("Пароль не введён");
  }
  if (terminal) std::fputs("\n", stderr);
  return QString::fromUtf8(line);
}
