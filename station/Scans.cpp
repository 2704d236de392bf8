#include "station/Scans.h"

#include <poll.h>
#include <unistd.h>

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

bool TLineInput::Read() {
  // One read per call: the descriptor may be a blocking one, read only once poll said so.
  char buffer[4096];
  ssize_t n;
  while ((n = read(Fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  if (n < 0 && errno == EAGAIN) return true;
  if (n <= 0) {
    if (!Held.empty()) Lines.push_back(std::move(Held));
    Held.clear();
    return false;
  }
  Held.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = Held.find('\n')) != std::string::npos;) {
    std::string line = Held.substr(0, end);
    // A scanner set up for Windows ends its line with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(std::move(line));
    Held.erase(0, end + 1);
  }
  return true;
}

std::optional<std::string> TLineInput::Next() {
  if (Lines.empty()) return std::nullopt;
  std::string line = std::move(Lines.front());
  Lines.pop_front();
  return line;
}

TLabelWait WaitForLabel(TLineInput& input, int stopFd, int unitFd) {
  for (;;) {
    if (auto line = input.Next()) return {std::move(line)};
    // The unit's port is watched only for its hang-up: what the unit says meanwhile stays for
    // the write, which drops it.
    pollfd fds[] = {{input.Descriptor(), POLLIN, 0}, {stopFd, POLLIN, 0}, {unitFd, 0, 0}};
    if (poll(fds, unitFd >= 0 ? 3 : 2, -1) < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (fds[1].revents & POLLIN) return {};
    if (unitFd >= 0 && (fds[2].revents & (POLLHUP | POLLERR))) return {std::nullopt, true};
    if (fds[0].revents && !input.Read()) return {input.Next()};
  }
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
