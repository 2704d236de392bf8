#include "station/SlotStatus.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <utility>

#include "station/Session.h"
#include "station/System.h"

namespace {

struct TPhaseLook {
  const char* Text;    // the phase as the slot's line shows it
  const char* Colour;  // its escape sequence on a colour terminal
};
// By phase: waiting, writing, verifying, done, failed, ended, recording, already written.
constexpr std::array<TPhaseLook, 8> kPhases = {{
    {"ожидание", ""},
    {"запись", "\x1b[33m"},
    {"проверка", "\x1b[33m"},
    {"готово — отключите блок", "\x1b[32m"},
    {"ошибка: ", "\x1b[31m"},
    {"", "\x1b[2m"},
    {"", "\x1b[33m"},
    {"уже записан — отключите блок", "\x1b[32m"},
}};
// A slot's line: its number, then the port, the phase and the label, each narrowed (the label
// first) down to its least when the terminal is narrow, then the seconds.
constexpr int kNumberWidth = 3, kSecondsWidth = 8;
struct TColumn {
  int Widest, Least;
};
constexpr TColumn kPort{14, 6}, kPhase{34, 10}, kLabel{20, 4};
const char* const kReset = "\x1b[0m";
constexpr auto kProgressPace = std::chrono::milliseconds(100);

// `text` padded with blanks (or cut) to `width` characters, however many bytes each takes. A
// device path keeps its end, where paths differ.
std::string Pad(const std::string& text, int width, bool keepEnd = false) {
  QString padded = QString::fromStdString(text);
  if (padded.size() > width)
    padded = keepEnd ? "…" + padded.right(width - 2) : padded.left(width - 2) + "…";
  return padded.leftJustified(width).toStdString();
}

}  // namespace

TSlotStatus::TSlotStatus(std::FILE* out)
    : Out(out),
      IsTerminal(isatty(fileno(out)) == 1),
      Colour(IsTerminal && qEnvironmentVariableIsEmpty("NO_COLOR")) {}

void TSlotStatus::AddSlot(const std::string& port) {
  Erase();
  Slots.push_back({});
  Slots.back().Port = port;
  Draw();
}

void TSlotStatus::Enter(TSlot& slot, TPhase phase) {
  if (slot.Phase != phase) slot.Since = TClock::now();
  slot.Phase = phase;
}

void TSlotStatus::Apply(const TStationEvent& event) {
  if (event.Slot < 1 || event.Slot > static_cast<int>(Slots.size())) return;
  TSlot& slot = Slots[static_cast<std::size_t>(event.Slot - 1)];
  std::string said;
  const std::string row = event.Row > 0 ? "строка " + std::to_string(event.Row) : "шаблон";
  switch (event.Kind) {
    case TEventKind::Arrived:
      slot.Label.clear();
      said = "блок подключён (" + event.Firmware + ")";
      break;
    case TEventKind::Claimed:
      slot.Label = event.Label.empty() ? row : event.Label;
      said = row + (event.Label.empty() ? "" : " (" + event.Label + ")");
      Enter(slot, TPhase::Writing);
      break;
    case TEventKind::Progress:
      slot.Step = event.Step;
      slot.Steps = event.Steps;
      Enter(slot, event.Phase == "verify" ? TPhase::Verifying : TPhase::Writing);
      break;
    case TEventKind::Written:
      said = "записано, проверка";
      Enter(slot, TPhase::Verifying);
      break;
    case TEventKind::Verified:
      said = "проверено";
      break;
    case TEventKind::Finished:
      if (event.Result == "already") {
        slot.Label = event.Label.empty() ? row : event.Label;
        said = event.Detail + " — отключите";
        Enter(slot, TPhase::Already);
        break;
      }
      if (event.Result == "ok") {
        ++DoneUnits;
        said = kPhases[static_cast<std::size_t>(TPhase::Done)].Text;
        Enter(slot, TPhase::Done);
        break;
      }
      [[fallthrough]];
    case TEventKind::Error:
      Differences += event.Result == "differences";
      slot.Detail = (event.Result == "differences" ? "расхождения " : "") + event.Detail;
      said = "ошибка: " + slot.Detail;
      if (event.Kind == TEventKind::Finished)
        Failures.push_back("слот " + std::to_string(event.Slot) + " " + slot.Port + ", " + row +
                           (event.Label.empty() ? "" : " (" + event.Label + ")") + ": " +
                           slot.Detail);
      Enter(slot, TPhase::Failed);
      break;
    case TEventKind::Retry:
      slot.Detail = said = event.Detail;
      Enter(slot, TPhase::Recording);
      break;
    case TEventKind::Left:
      said = "блок отключён";
      slot.Label.clear();
      Enter(slot, TPhase::Waiting);
      break;
  }
  if (IsTerminal) {
    // A unit's progress comes many times a second; the eye needs a few pictures of it.
    if (event.Kind == TEventKind::Progress && TClock::now() - DrawnAt < kProgressPace) return;
    Erase();
    Draw();
  } else if (!said.empty()) {
    Plain(event.Slot, said);
  }
}

void TSlotStatus::Note(int slot, const std::string& text) {
  Erase();
  Plain(slot, text);
  Draw();
}

void TSlotStatus::Print(const std::string& line) {
  Erase();
  PrintLine(line);
  Draw();
}

void TSlotStatus::Ended(int slot, const std::string& why) {
  TSlot& s = Slots[static_cast<std::size_t>(slot - 1)];
  s.Detail = why;
  Enter(s, TPhase::Ended);
  Note(slot, why);
}

void TSlotStatus::Tick() {
  if (!IsTerminal) return;
  Erase();
  Draw();
}

int TSlotStatus::Width() const { return TerminalColumns(Out); }

std::string TSlotStatus::SlotLine(int number, const TSlot& slot, int width) const {
  const auto& look = kPhases[static_cast<std::size_t>(slot.Phase)];
  std::string phase = look.Text;
  if (slot.Phase == TPhase::Writing && slot.Steps > 0)
    phase += " " + std::to_string(slot.Step) + "/" + std::to_string(slot.Steps);
  if (slot.Phase == TPhase::Failed || slot.Phase == TPhase::Ended ||
      slot.Phase == TPhase::Recording)
    phase += slot.Detail;
  const long seconds =
      std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - slot.Since).count();
  // The last column is left free: a line that fills the terminal wraps on some of them.
  int excess =
      kNumberWidth + kPort.Widest + kPhase.Widest + 1 + kLabel.Widest + kSecondsWidth - (width - 1);
  int port = kPort.Widest, phaseWidth = kPhase.Widest, label = kLabel.Widest;
  for (auto [column, least] : {std::pair<int*, int>{&label, kLabel.Least},
                               {&phaseWidth, kPhase.Least},
                               {&port, kPort.Least}}) {
    const int give = std::clamp(excess, 0, *column - least);
    *column -= give;
    excess -= give;
  }
  const bool colour = Colour && *look.Colour && excess <= 0;
  std::string line = Pad(std::to_string(number), kNumberWidth) + Pad(slot.Port, port, true) +
                     (colour ? look.Colour : "") + Pad(phase, phaseWidth) + (colour ? kReset : "") +
                     " " + Pad(slot.Label, label) +
                     Pad(" " + std::to_string(seconds) + " с", kSecondsWidth);
  // Narrower still: the line is cut, plainly.
  return excess > 0 ? Pad(line, std::max(width - 1, 10)) : line;
}

std::string TSlotStatus::SummaryLine() const {
  const double hours = std::chrono::duration<double>(TClock::now() - Start).count() / 3600;
  std::string line = "готово " + std::to_string(DoneUnits);
  if (Left >= 0) line += ", осталось " + std::to_string(Left);
  line += ", ошибок " + std::to_string(Failures.size());
  if (DoneUnits > 0 && hours > 0)
    line += ", " + std::to_string(static_cast<long>(DoneUnits / hours)) + " блоков/ч";
  return line;
}

void TSlotStatus::Plain(int number, const std::string& text) {
  if (number > 0 && number <= static_cast<int>(Slots.size()))
    std::fprintf(Out, "слот %d %s: %s\n", number,
                 Slots[static_cast<std::size_t>(number - 1)].Port.c_str(), text.c_str());
  else
    std::fprintf(Out, "%s\n", text.c_str());
  std::fflush(Out);
}

void TSlotStatus::Erase() {
  if (!IsTerminal || Drawn == 0) return;
  // Up to the picture's first line, then everything below it cleared.
  std::fprintf(Out, "\x1b[%dA\r\x1b[J", Drawn);
  Drawn = 0;
}

void TSlotStatus::Draw() {
  if (!IsTerminal || Closed) return;
  const int width = Width();
  std::string picture;
  for (std::size_t i = 0; i < Slots.size(); ++i)
    picture += SlotLine(static_cast<int>(i) + 1, Slots[i], width) + "\x1b[K\n";
  picture += Pad(SummaryLine(), std::max(width - 1, 10)) + "\x1b[K\n";
  std::fputs(picture.c_str(), Out);
  std::fflush(Out);
  Drawn = static_cast<int>(Slots.size()) + 1;
  DrawnAt = TClock::now();
}

void TSlotStatus::Close() {
  if (IsTerminal) {
    Erase();
    Draw();
    Drawn = 0;  // the last picture stays
  }
  Closed = true;
  std::string total =
      "Итог: записано " + std::to_string(DoneUnits) + ", ошибок " + std::to_string(Failures.size());
  if (Left >= 0) total += ", осталось строк " + std::to_string(Left);
  Plain(0, total);
  for (const std::string& failure : Failures) Plain(0, "  " + failure);
}
