// A barcode scanner at the station (`provision --scan`): the labels it types, one a line, on the
// station's standard input, each tied to one unit before anything is written to it.
//
// The station (TScans) checks a label the moment it is read: no control character, a row of the
// batch carries it, that row is neither done nor held by another station, and the label is not
// waiting or at work in a slot already. A refused label is told as a "refused" event and goes
// nowhere. An accepted one is bound to the slot named before it ("N<TAB>label", a tile clicked
// in the operator's window), else to a slot whose unit waits for its label, else to the next unit
// that arrives; the slot's worker is handed it on its standard input. The worker (TLabelInput),
// having found its unit, waits for that line and then claims the row with that label.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "station/StationEvents.h"

class TStationStore;

// Lines read from a descriptor without blocking; a last line without its end counts once the
// descriptor ends.
class TLineInput {
 public:
  explicit TLineInput(int fd) : Fd(fd) {}
  // Reads what is there now; false once the descriptor has ended (or failed).
  bool Read();
  std::optional<std::string> Next();
  int Descriptor() const { return Fd; }

 private:
  int Fd;
  std::string Held;
  std::deque<std::string> Lines;
};

class TScans {
 public:
  struct THooks {
    std::function<void(int slot, const std::string& line)> Hand;  // to the slot's worker
    std::function<void(const TStationEvent&)> Emit;
  };
  TScans(TStationStore* store, THooks hooks) : Store(store), Hooks(std::move(hooks)) {}

  // One line the scanner typed.
  void Take(const std::string& line);
  // What the station's slots report: a unit arrived (it gets its label), left or finished
  // (its label is free again).
  void Follow(const TStationEvent& event);

 private:
  struct TSlot {
    std::string Port;
    bool Unit = false;    // a unit is there and has no label yet
    std::string Label;    // bound to the slot; empty: none
    bool Handed = false;  // the worker has it
  };
  TStationStore* Store;
  THooks Hooks;
  std::map<int, TSlot> Slots;
  std::deque<std::string> Pending;  // for the next unit that arrives

  // Why `label` (for slot `slot`, 0: any) is refused; empty when it is not.
  std::string Refusal(const std::string& label, int slot);
  void Refuse(int slot, const std::string& label, const std::string& why);
  void Bind(int slot, const std::string& label);
};

// Whether this system's station reads a scanner (Linux: yes; Windows: not yet).
bool ScanningAvailable();

// The worker's side: waits on standard input for the label its station hands it, while its
// unit stays on `unitFd` (the port the probe left open). No label when a stop came (`stopFd`
// readable), the input ended, or the unit hung up (`Gone`).
struct TLabelWait {
  std::optional<std::string> Label;
  bool Gone = false;
};
TLabelWait WaitForLabel(TLineInput& input, int stopFd, int unitFd);
