// The person of the command line: the terminal instead of dialogs.
//
// The exchange goes to a log file (the lines as the window's log pane shows them, UTF-8), a
// question never waits for input but is answered from the command line, a message box becomes
// one line on standard error, and the wait panel becomes a progress line on standard error while
// that is a terminal and the work has taken longer than a second. What was told is kept, so that
// a subcommand can tell a failure (a box captioned "Ошибка") from success.
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

  // The text of the last error box since ForgetFailure; none when nothing failed.
  const std::optional<std::string>& Failure() const { return FailureText; }
  void ForgetFailure() { FailureText.reset(); }
  // The last box with one OK button, whatever its caption.
  TIcon LastIcon() const { return LastTellIcon; }
  // The version text of the last version caption ("Версия 3.00" -> "3.00"); empty when none.
  std::string Version() const;
  // The wait text shown now (empty when hidden), and when it was shown.
  const std::string& WaitText() const { return Wait; }
  TClock::time_point WaitSince() const { return WaitStart; }
  // A step of the operation under the wait text, drawn on the progress line.
  void ShowStep(const TStep& step);
  // Prints a line on standard error, clearing the progress line first.
  void Say(const std::string& line);

 private:
  bool AnswerYes;
  std::FILE* ExchangeLog;
  bool Terminal;  // standard error is a terminal
  std::optional<std::string> FailureText;
  TIcon LastTellIcon = TIcon::Information;
  std::string VersionCaption;
  std::string Wait;
  TClock::time_point WaitStart{};
  int Steps = 0;  // parameter commands sent since the wait text was shown
  bool ProgressDrawn = false;

  void DrawProgress();
  void ClearProgress();
};
