// What an operation needs from the person at the screen.
//
// The link, the transfer and the service operations never touch a dialog themselves: they log,
// ask, tell, show the wait panel and set the version caption through this interface. The main
// window implements it with real Qt dialogs; tests implement it with a scripted stand-in that
// records what was shown and answers the questions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TPerson {
 public:
  enum class TIcon { Stop, Question, Warning, Information };

  virtual ~TPerson() = default;

  // One line of `MmLog`: a command as sent or a message as received, Windows-1251 bytes exactly
  // as on the line (the final CR included).
  virtual void Log(std::string_view cp1251Line) = 0;

  // A modal Yes/No box (Yes is the default button); true only when the answer is Yes.
  // Texts are UTF-8.
  virtual bool Ask(const std::string& text, const std::string& caption, TIcon icon) = 0;

  // A modal box with one OK button.
  virtual void Tell(const std::string& text, const std::string& caption, TIcon icon) = 0;

  // The wait panel: shown with a text and drawn at once, before the blocking work goes on;
  // hiding a hidden panel does nothing.
  virtual void ShowWait(const std::string& text) = 0;
  virtual void HideWait() = 0;

  // The caption of `LbVersion`.
  virtual void SetVersionCaption(const std::string& text) = 0;

  // One code whose text in the unit differs from the text the program holds for it, as a person
  // reads it (UTF-8): the caption(s) of its control(s), the code, its parameter key(s), the
  // program's value and the unit's.
  struct TDifferenceRow {
    std::string Caption, Code, Key, Own, Unit;
    bool operator==(const TDifferenceRow&) const = default;
  };
  // A comparison's result: a modal dialog titled `caption` with the columns "Параметр", "Код",
  // `ownColumn` ("В окне" or "Записано"), "В Вестре", one row per difference; or, with no rows,
  // the text "Расхождений нет".
  virtual void ShowDifferences(const std::string& caption, const std::string& ownColumn,
                               const std::vector<TDifferenceRow>& rows) = 0;
};
