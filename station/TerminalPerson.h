// The person of the command line: the terminal instead of dialogs.
//
// The exchange goes to a log file (the lines as the window's log pane shows them, UTF-8), a
// question never waits for input but is answered from the command line, a message box becomes
// one line on standard error, and the wait panel becomes a progress line on standard error while
// that is a terminal and the work has taken longer than a second, drawn from the operation's
// steps. What happened is the operation's typed result, never read back from what was said.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/Person.h"
#include "transfer/UnitSession.h"

class TTerminalPerson : public TPerson {
 public:
  using TClock = std::chrono::steady_clock;

  // `answerYes`: the answer to every go-on question. `exchangeLog` may be null.
  TTerminalPerson(bool answerYes, std::FILE* exchangeLog);

  void Log(std::string_view cp1251Line) override;
  bool Ask(const std::string& text, const std::string& caption, TIcon icon) override;
  void Tell(const std::string& text, const std::string& caption, TIcon icon) override;
  void ShowWait(const std::string& text) override;
  void HideWait() override;
  void SetVersionCaption(const std::string& text) override;
  // One line per difference: code, key, caption, the expected value and the unit's, separated
  // by tabs, to `DifferencesTo`; none: "Расхождений нет" on standard error.
  void ShowDifferences(const std::string& caption, const std::string& ownColumn,
                       const std::vector<TDifferenceRow>& rows) override;
  std::FILE* DifferencesTo = stdout;

  // A step of the operation under the wait text, drawn on the progress line.
  void ShowStep(const TStep& step);
  // Prints a line on standard error, clearing the progress line first.
  void Say(const std::string& line);

 private:
  bool AnswerYes;
  std::FILE* ExchangeLog;
  bool Terminal;  // standard error is a terminal
  std::string Wait;
  TClock::time_point WaitStart{};
  int Steps = 0;  // parameter commands sent since the wait text was shown
  bool ProgressDrawn = false;

  void DrawProgress();
  void ClearProgress();
};
