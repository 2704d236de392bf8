// What happens at a station's slot, as events: the one model that the slot's worker sends to
// the station, the station's status view draws, and `--json` prints for a line's own software.
//
// An event is one JSON object on one line (JSON Lines). Every object carries "version" (of this
// format), "time" (local, ISO 8601 with its offset), "event", "slot" and "port"; the others
// appear when the event has them. The format only grows: a name once given keeps its meaning.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>

enum class TEventKind {
  Arrived,   // a unit answered on the slot's port
  Claimed,   // the slot took a row for that unit
  Progress,  // one more parameter command of the write or of its verification
  Written,   // the write ended with "#S"; the verification begins
  Verified,  // every value read back equals the one written
  Finished,  // the unit is handled: "result" ok, differences, error, already (it held a done row
             // and was left alone) or lost (another station took the row: no "#S")
  Left,      // the unit is gone from the port
  Error,     // the slot itself failed (its worker died, its record could not be written)
  Retry,     // the record did not take the unit's outcome; "detail" says when it is tried again,
             // "retry_s" in how many seconds
  Started,   // the slot's worker was started on its port; "template", "units" and "db" (its
             // password hidden) name what the station works with
  Scanned,   // a scanned label was accepted: bound to the slot, or (slot 0) to the next unit
  Refused,   // a scanned label was refused, "detail" says why; nothing was sent for it
};

struct TStationEvent {
  static constexpr int FormatVersion = 1;

  TEventKind Kind = TEventKind::Error;
  std::string Time;  // set when sent, if empty
  int Slot = 0;      // 1-based
  std::string Port, Device, Firmware;
  int Row = 0;  // 1-based row of the table; 0: none (a template without a table)
  std::string Label, Result, Detail;
  std::string Phase;                // progress: "write" or "verify"
  int Step = 0, Steps = 0;          // progress: commands sent of the phase, and its whole
  int RetryS = 0;                   // retry: seconds until the record is tried again
  std::string Template, Table, Db;  // started
  double WaitS = -1, WriteS = -1, VerifyS = -1;  // finished; -1: not measured
};

const char* EventName(TEventKind kind);

// One line without its end, UTF-8.
QByteArray EventJson(const TStationEvent& event);
// None when the line is no event object of a known kind.
std::optional<TStationEvent> ParseEvent(const QByteArray& line);

// The local time now, as "time" carries it.
std::string EventTimeNow();
