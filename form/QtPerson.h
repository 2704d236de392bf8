// The window's own person: real message boxes, the log pane, the wait panel and the version
// label of the main window.
#pragma once

#include "link/Person.h"

class TFmMain;

class TQtPerson : public TPerson {
 public:
  explicit TQtPerson(TFmMain& window) : Window(window) {}

  // Appends the line, converted from Windows-1251, without its final CR.
  void Log(std::string_view cp1251Line) override;
  bool Ask(const std::string& text, const std::string& caption, TIcon icon) override;
  void Tell(const std::string& text, const std::string& caption, TIcon icon) override;
  // Shows the panel and lets the window system map and draw it before returning, since the
  // caller then blocks the GUI thread. Only non-input events are processed meanwhile.
  void ShowWait(const std::string& text) override;
  void HideWait() override;
  void SetVersionCaption(const std::string& text) override;
  // A modal table of the differences (form/DifferencesDialog.cpp).
  void ShowDifferences(const std::string& caption, const std::string& ownColumn,
                       const std::vector<TDifferenceRow>& rows) override;

  // True while ShowWait lets events through; the timer's work must not run then.
  bool Exposing() const { return ExposingWait; }

 private:
  TFmMain& Window;
  bool ExposingWait = false;
};
