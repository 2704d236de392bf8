#include "station/Scans.h"

#include <QByteArray>
#include <cerrno>

#include "link/VestraError.h"
#include "params/Judgement.h"
#include "station/StationStore.h"

namespace {

// Between a slot's number and its label: a scanner never types one inside a label.
constexpr char kSlotMark = '\t';
// A scanner's line is a label, not a file: anything longer is no label of a table.
constexpr std::size_t kLongestLabel = 200;

std::string Quoted(const std::string& label) { return "«" + label + "»"; }

}  // namespace

std::optional<std::string> TLineInput::Next() {
  if (Lines.empty()) return std::nullopt;
  std::string line = std::move(Lines.front());
  Lines.pop_front();
  return line;
}

void TScans::Take(const std::string& line) {
  std::string label = line;
  int slot = 0;
  if (const std::size_t mark = line.find(kSlotMark); mark != std::string::npos) {
    const std::string number = line.substr(0, mark);
    label = line.substr(mark + 1);
    slot = number.size() <= 3 && number.find_first_not_of("0123456789") == std::string::npos
               ? std::atoi(number.c_str())
               : -1;
    if (!Slots.count(slot)) return Refuse(0, label, "нет слота " + ShownEscaped(number));
  }
  if (label.empty()) return;  // an Enter alone
  if (const std::string why = Refusal(label, slot); !why.empty()) return Refuse(slot, label, why);
  Bind(slot, label);
}

std::string TScans::Refusal(const std::string& label, int slot) {
  if (!QByteArray::fromStdString(label).isValidUtf8()) return "метка не в UTF-8";
  if (auto code = RefusedCharacterInUtf8(label)) return "в метке " + RefusedReason(*code);
  if (label.size() > kLongestLabel)
    return "метка длиннее " + std::to_string(kLongestLabel) + " байт";
  for (const auto& [number, held] : Slots)
    if (held.Label == label) return "метка уже отсканирована для слота " + std::to_string(number);
  for (const std::string& waiting : Pending)
    if (waiting == label) return "метка уже отсканирована и ждёт блока";
  if (slot > 0 && !Slots[slot].Label.empty())
    return "у слота " + std::to_string(slot) + " уже есть метка " + Quoted(Slots[slot].Label);
  if (!Store) return "у станции нет таблицы блоков";
  TLabelRows rows;
  try {
    rows = Store->LabelRows(label);
  } catch (const EVestraError& error) {
    return std::string("база недоступна: ") + error.what();
  }
  if (rows.Rows == 0) return "в таблице нет строки с такой меткой";
  if (rows.Done == rows.Rows) return "блок с этой меткой уже записан";
  if (rows.Done + rows.Held == rows.Rows) return "строку с этой меткой пишет другая станция";
  return {};
}

void TScans::Refuse(int slot, const std::string& label, const std::string& why) {
  TStationEvent event;
  event.Kind = TEventKind::Refused;
  event.Slot = slot > 0 ? slot : 0;
  if (slot > 0) event.Port = Slots[slot].Port;
  // The label as it was read, its control characters as escapes: none of them travels on.
  event.Label = ShownEscaped(label);
  event.Detail = why;
  Hooks.Emit(event);
}

void TScans::Bind(int slot, const std::string& label) {
  if (slot == 0) {
    // A unit that waits for its label gets it first, the one that came first.
    for (auto& [number, held] : Slots)
      if (held.Unit && held.Label.empty()) {
        slot = number;
        break;
      }
  }
  TStationEvent event;
  event.Kind = TEventKind::Scanned;
  event.Label = label;
  if (slot == 0) {
    Pending.push_back(label);
    Hooks.Emit(event);
    return;
  }
  TSlot& held = Slots[slot];
  held.Label = label;
  event.Slot = slot;
  event.Port = held.Port;
  Hooks.Emit(event);
  if (held.Unit) {
    held.Handed = true;
    held.Unit = false;
    Hooks.Hand(slot, label + "\n");
  }
}

void TScans::Follow(const TStationEvent& event) {
  if (event.Slot <= 0) return;
  TSlot& slot = Slots[event.Slot];
  switch (event.Kind) {
    case TEventKind::Started:
      slot.Port = event.Port;
      // A worker started again has lost its unit's label with the unit: it is handed again.
      slot.Unit = slot.Handed = false;
      break;
    case TEventKind::Arrived:
      slot.Unit = true;
      slot.Handed = false;
      if (slot.Label.empty() && !Pending.empty()) {
        slot.Label = Pending.front();
        Pending.pop_front();
      }
      if (!slot.Label.empty()) {
        TStationEvent bound = event;
        bound.Kind = TEventKind::Scanned;
        bound.Label = slot.Label;
        Hooks.Emit(bound);
        slot.Unit = false;
        slot.Handed = true;
        Hooks.Hand(event.Slot, slot.Label + "\n");
      }
      break;
    case TEventKind::Finished:
    case TEventKind::Left:
      slot.Unit = false;
      slot.Handed = false;
      slot.Label.clear();
      break;
    default:
      break;
  }
}
