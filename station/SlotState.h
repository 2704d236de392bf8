// What a station's slot is doing, as every face shows it: the terminal's picture, the operator's
// tiles and the line's dashboard draw the same state from the same events, in the same words,
// colours and signs.
//
// A slot waits for a unit, writes it, verifies it, and then stands done (or failed, with the
// reason) until its unit is unplugged; a failure is never overwritten by a later event of the
// same unit.
#pragma once

#include <chrono>
#include <string>

#include "station/StationEvents.h"

enum class TSlotPhase { Waiting, Writing, Verifying, Done, Failed, Ended, Recording, Already };

// The colour of a phase; a sign goes with it, so that no one depends on telling red from green.
enum class TSlotTone { Grey, Blue, Green, Red };

struct TSlotState {
  using TClock = std::chrono::steady_clock;

  std::string Port, Label;
  std::string Detail;  // the reason of a failure or an end, the record's retry
  TSlotPhase Phase = TSlotPhase::Waiting;
  int Step = 0, Steps = 0;  // of the write or the verification
  TClock::time_point Since = TClock::now();

  // Follows the slot's event; what a plain log line says of it (empty: nothing worth a line).
  std::string Apply(const TStationEvent& event);
  // The slot's worker is gone for good (it ended, or the station stopped it).
  void End(const std::string& why);
  // "ждёт блок", "запись 17/44", "проверка", "готово — отключите блок", "ошибка: ...".
  std::string Words() const;
  long Seconds() const;

 private:
  void Enter(TSlotPhase phase);
};

TSlotTone PhaseTone(TSlotPhase phase);
// "✓", "✗", or empty.
const char* PhaseSign(TSlotPhase phase);
// The phase's name where a program reads it (the record, a page): "waiting", "writing", ...
const char* PhaseName(TSlotPhase phase);
