// The station's view of its slots, drawn from their events on standard error.
//
// On a terminal: one line per slot (slot, port, phase, the row's label, seconds in the phase)
// and a summary line (done, left, errors, units per hour), redrawn in place and never wider than
// the terminal, or a wrapped line would be left behind at the next redraw; notes scroll above
// them. Colours only there, and never with NO_COLOR set. Elsewhere: one plain line per event
// (progress left out) and per note. A slot whose unit failed stays in its error until the unit
// is unplugged.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "station/SlotState.h"
#include "station/StationEvents.h"

class TSlotStatus {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TSlotStatus(std::FILE* out);

  // A slot with its port; slots are numbered from 1 in the order they are added.
  void AddSlot(const std::string& port);
  // The table's rows left, by whichever station; never called without a table.
  void SetRowsLeft(int left) { Left = left; }
  void Apply(const TStationEvent& event);
  // A line of a slot's own (a worker's note), or of the station's (slot 0).
  void Note(int slot, const std::string& text);
  // A line of standard output, put above the picture: on one terminal with it, a line printed
  // under the picture would be taken for part of it at the next redraw.
  void Print(const std::string& line);
  // The slot's worker is gone for good (it ended, or the station stopped it).
  void Ended(int slot, const std::string& why);
  // Redraws the seconds; a terminal only.
  void Tick();
  // Leaves the last picture standing and prints the summary: failed attempts, rows left.
  void Close();

  int Done() const { return DoneUnits; }
  int Errors() const { return static_cast<int>(Failures.size()); }
  bool AnyDifferences() const { return Differences > 0; }
  // Rows of the table not yet done; -1 without a table.
  int RowsLeft() const { return Left; }
  bool Terminal() const { return IsTerminal; }

 private:
  std::FILE* Out;
  bool IsTerminal, Colour;
  int Left = -1, DoneUnits = 0, Differences = 0;
  std::vector<TSlotState> Slots;
  std::vector<std::string> Failures;  // one text per failed attempt
  TClock::time_point Start = TClock::now();
  int Drawn = 0;  // lines of the picture on the screen
  TClock::time_point DrawnAt{};
  bool Closed = false;  // the last picture and the summary stand: nothing is drawn any more

  // The terminal's width now: a resize is followed at the next picture.
  int Width() const;
  std::string SlotLine(int number, const TSlotState& slot, int width) const;
  std::string SummaryLine() const;
  void Plain(int number, const std::string& text);
  void Erase();
  void Draw();
};
