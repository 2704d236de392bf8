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

// The escape sequence of each tone on a colour terminal.
constexpr std::array<const char*, 4> kToneColours = {"", "\x1b[34m", "\x1b[32m", "\x1b[31m"};
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

void TSlotStatus::Apply(const TStationEvent& event) {
  if (event.Slot < 1 || event.Slot > static_cast<int>(Slots.size())) return;
  TSlotState& slot = Slots[static_cast<std::size_t>(event.Slot - 1)];
  const std::string said = slot.Apply(event);
  if (event.Kind == TEventKind::Finished && event.Result == "ok") ++DoneUnits;
  if (event.Kind == TEventKind::Finished && slot.Phase == TSlotPhase::Failed) {
    Differences += event.Result == "differences";
    const std::string row = event.Row > 0 ? "строка " + std::to_string(event.Row) : "шаблон";
    Failures.push_back("слот " + std::to_string(event.Slot) + " " + slot.Port + ", " + row +
                       (event.Label.empty() ? "" : " (" + event.Label + ")") + ": " + slot.Detail);
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
  Slots[static_cast<std::size_t>(slot - 1)].End(why);
  Note(slot, why);
}

void TSlotStatus::Tick() {
  if (!IsTerminal) return;
  Erase();
  Draw();
}

int TSlotStatus::Width() const { return TerminalColumns(Out); }

std::string TSlotStatus::SlotLine(int number, const TSlotState& slot, int width) const {
  const char* tone = kToneColours[static_cast<std::size_t>(PhaseTone(slot.Phase))];
  const char* sign = PhaseSign(slot.Phase);
  const std::string phase = (*sign ? std::string(sign) + " " : "") + slot.Words();
  const long seconds = slot.Seconds();
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
  const bool colour = Colour && *tone && excess <= 0;
  std::string line = Pad(std::to_string(number), kNumberWidth) + Pad(slot.Port, port, true) +
                     (colour ? tone : "") + Pad(phase, phaseWidth) + (colour ? kReset : "") + " " +
                     Pad(slot.Label, label) +
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
