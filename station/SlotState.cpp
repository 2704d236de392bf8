#include "station/SlotState.h"

#include <array>

namespace {

struct TPhaseLook {
  TSlotPhase Phase;
  const char* Name;
  const char* Words;  // the detail or the step count follows where the phase has one
  TSlotTone Tone;
  const char* Sign;
};
constexpr std::array<TPhaseLook, 8> kPhases = {{
    {TSlotPhase::Waiting, "waiting", "ждёт блок", TSlotTone::Grey, ""},
    {TSlotPhase::Writing, "writing", "запись", TSlotTone::Blue, ""},
    {TSlotPhase::Verifying, "verifying", "проверка", TSlotTone::Blue, ""},
    {TSlotPhase::Done, "done", "готово — отключите блок", TSlotTone::Green, "✓"},
    {TSlotPhase::Failed, "failed", "ошибка: ", TSlotTone::Red, "✗"},
    {TSlotPhase::Ended, "ended", "", TSlotTone::Grey, ""},
    {TSlotPhase::Recording, "recording", "", TSlotTone::Blue, ""},
    {TSlotPhase::Already, "already", "уже записан — отключите блок", TSlotTone::Green, "✓"},
}};
constexpr bool InOrder() {
  for (std::size_t i = 0; i < kPhases.size(); ++i)
    if (static_cast<std::size_t>(kPhases[i].Phase) != i) return false;
  return true;
}
static_assert(InOrder(), "one look per phase, in the order of TSlotPhase");

const TPhaseLook& Look(TSlotPhase phase) { return kPhases[static_cast<std::size_t>(phase)]; }

}  // namespace

TSlotTone PhaseTone(TSlotPhase phase) { return Look(phase).Tone; }
const char* PhaseSign(TSlotPhase phase) { return Look(phase).Sign; }
const char* PhaseName(TSlotPhase phase) { return Look(phase).Name; }

void TSlotState::Enter(TSlotPhase phase) {
  if (Phase != phase) Since = TClock::now();
  Phase = phase;
}

std::string TSlotState::Apply(const TStationEvent& event) {
  const std::string row = event.Row > 0 ? "строка " + std::to_string(event.Row) : "шаблон";
  switch (event.Kind) {
    case TEventKind::Arrived:
      Label.clear();
      return "блок подключён (" + event.Firmware + ")";
    case TEventKind::Claimed:
      Label = event.Label.empty() ? row : event.Label;
      Step = Steps = 0;
      Enter(TSlotPhase::Writing);
      return row + (event.Label.empty() ? "" : " (" + event.Label + ")");
    case TEventKind::Progress:
      Step = event.Step;
      Steps = event.Steps;
      Enter(event.Phase == "verify" ? TSlotPhase::Verifying : TSlotPhase::Writing);
      return {};
    case TEventKind::Written:
      Step = Steps = 0;
      Enter(TSlotPhase::Verifying);
      return "записано, проверка";
    case TEventKind::Verified:
      return "проверено";
    case TEventKind::Finished:
      if (event.Result == "already") {
        Label = event.Label.empty() ? row : event.Label;
        Enter(TSlotPhase::Already);
        return event.Detail + " — отключите";
      }
      if (event.Result == "ok") {
        Enter(TSlotPhase::Done);
        return Look(TSlotPhase::Done).Words;
      }
      [[fallthrough]];
    case TEventKind::Error:
      Detail = (event.Result == "differences" ? "расхождения " : "") + event.Detail;
      Enter(TSlotPhase::Failed);
      return "ошибка: " + Detail;
    case TEventKind::Retry:
      Detail = event.Detail;
      Enter(TSlotPhase::Recording);
      return Detail;
    case TEventKind::Left:
      Label.clear();
      Enter(TSlotPhase::Waiting);
      return "блок отключён";
    case TEventKind::Scanned:
      // The label waits with the slot for its unit; a failed slot keeps its reason meanwhile.
      Label = event.Label;
      return "метка " + event.Label;
    case TEventKind::Started:
    case TEventKind::Refused:
      return {};
  }
  return {};
}

void TSlotState::End(const std::string& why) {
  Detail = why;
  Enter(TSlotPhase::Ended);
}

std::string TSlotState::Words() const {
  std::string words = Look(Phase).Words;
  if ((Phase == TSlotPhase::Writing || Phase == TSlotPhase::Verifying) && Steps > 0)
    words += " " + std::to_string(Step) + "/" + std::to_string(Steps);
  if (Phase == TSlotPhase::Failed || Phase == TSlotPhase::Ended || Phase == TSlotPhase::Recording)
    words += Detail;
  return words;
}

long TSlotState::Seconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - Since).count();
}
