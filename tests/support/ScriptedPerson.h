// A person for tests: records every log line, question, box, wait-panel text, version caption
// and comparison result, and answers the questions from a script (Yes unless told otherwise).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/Person.h"

class TScriptedPerson : public TPerson {
 public:
  struct TBox {
    std::string Text, Caption;
    TIcon Icon;
    bool Question;
  };

  std::vector<std::string> LogLines;  // Windows-1251 bytes as logged
  std::vector<TBox> Boxes;            // questions and messages, in order
  struct TDifferences {
    std::string Caption, OwnColumn;
    std::vector<TDifferenceRow> Rows;
  };

  std::vector<std::string> WaitTexts;
  std::vector<TDifferences> Differences;  // the comparison results shown, in order
  std::string VersionCaption;
  bool WaitShown = false;
  std::deque<bool> Answers;  // next answers to questions; Yes when empty

  void Log(std::string_view line) override { LogLines.emplace_back(line); }
  bool Ask(const std::string& text, const std::string& caption, TIcon icon) override {
    Boxes.push_back({text, caption, icon, true});
    if (Answers.empty()) return true;
    bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void Tell(const std::string& text, const std::string& caption, TIcon icon) override {
    Boxes.push_back({text, caption, icon, false});
  }
  void ShowWait(const std::string& text) override {
    WaitTexts.push_back(text);
    WaitShown = true;
  }
  void HideWait() override { WaitShown = false; }
  void SetVersionCaption(const std::string& text) override { VersionCaption = text; }
  void ShowDifferences(const std::string& caption, const std::string& ownColumn,
                       const std::vector<TDifferenceRow>& rows) override {
    Differences.push_back({caption, ownColumn, rows});
  }
};
