#include "station/TerminalPerson.h"

#include <unistd.h>

#include "link/Text.h"
#include "transfer/CodeTable.h"

TTerminalPerson::TTerminalPerson(bool answerYes, std::FILE* exchangeLog)
    : AnswerYes(answerYes), ExchangeLog(exchangeLog), Terminal(isatty(STDERR_FILENO) == 1) {}

void TTerminalPerson::Log(std::string_view cp1251Line) {
  if (!ExchangeLog) return;
  if (!cp1251Line.empty() && cp1251Line.back() == '\r') cp1251Line.remove_suffix(1);
  const std::string line = Cp1251ToUtf8(cp1251Line) + "\n";
  std::fwrite(line.data(), 1, line.size(), ExchangeLog);
  std::fflush(ExchangeLog);
}

bool TTerminalPerson::Ask(const std::string& text, const std::string& caption, TIcon) {
  Say(caption + ": " + text + (AnswerYes ? " Да" : " Нет"));
  return AnswerYes;
}

void TTerminalPerson::Tell(const std::string& text, const std::string& caption, TIcon) {
  Say(caption + ": " + text);
}

void TTerminalPerson::ShowWait(const std::string& text) {
  ClearProgress();
  Wait = text;
  WaitStart = TClock::now();
  Steps = 0;
}

void TTerminalPerson::ShowStep(const TStep& step) {
  if (step.Step == 0) return;
  Steps = step.Step;
  DrawProgress();
}

void TTerminalPerson::HideWait() {
  ClearProgress();
  Wait.clear();
}

void TTerminalPerson::SetVersionCaption(const std::string&) {}

void TTerminalPerson::ShowDifferences(const std::string& caption, const std::string&,
                                      const std::vector<TDifferenceRow>& rows) {
  if (rows.empty()) {
    Say(caption + ": Расхождений нет");
    return;
  }
  ClearProgress();
  for (const auto& row : rows) {
    const std::string line =
        row.Code + "\t" + row.Key + "\t" + row.Caption + "\t" + row.Own + "\t" + row.Unit + "\n";
    std::fwrite(line.data(), 1, line.size(), DifferencesTo);
  }
  std::fflush(DifferencesTo);
}

void TTerminalPerson::Say(const std::string& line) {
  ClearProgress();
  std::fprintf(stderr, "%s\n", line.c_str());
}

void TTerminalPerson::DrawProgress() {
  // Only on a terminal, and only for work that takes long enough to wonder about.
  if (!Terminal || Wait.empty() || TClock::now() - WaitStart < std::chrono::seconds(1)) return;
  std::fprintf(stderr, "\r%s %d/%zu\x1b[K", Wait.c_str(), Steps, CodeCount);
  ProgressDrawn = true;
}

void TTerminalPerson::ClearProgress() {
  if (!ProgressDrawn) return;
  std::fputs("\r\x1b[K", stderr);
  ProgressDrawn = false;
}
