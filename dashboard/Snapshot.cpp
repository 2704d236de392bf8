#include "dashboard/Snapshot.h"

#include <QJsonArray>
#include <array>
#include <map>
#include <set>

#include "station/Figures.h"
#include "station/SlotState.h"

namespace {

// A station whose heartbeat is this many beats late is no longer heard from.
constexpr long long kQuietBeats = 3;
// A station stopped longer ago than this is no longer on the line.
constexpr long long kForgottenMs = 12LL * 3600 * 1000;

// What a station is as a tile shows it: its words, colour and sign, as a slot's.
struct TStationLook {
  const char* Name;
  const char* Words;
  TSlotTone Tone;
  const char* Sign;
};
constexpr std::array<TStationLook, 3> kStationLooks = {{
    {"running", "работает", TSlotTone::Green, ""},
    {"stopped", "остановлена", TSlotTone::Grey, ""},
    {"silent", "нет связи", TSlotTone::Red, "✗"},
}};

constexpr std::array<const char*, 4> kToneNames = {"grey", "blue", "green", "red"};
static_assert(static_cast<std::size_t>(TSlotTone::Red) + 1 == kToneNames.size());

const char* ToneName(TSlotTone tone) { return kToneNames[static_cast<std::size_t>(tone)]; }

TSlotPhase PhaseOf(const std::string& name) {
  for (int i = 0; i <= static_cast<int>(TSlotPhase::Already); ++i)
    if (name == PhaseName(static_cast<TSlotPhase>(i))) return static_cast<TSlotPhase>(i);
  return TSlotPhase::Ended;  // a phase of a later release: shown as gone, not guessed
}

QString Text(const std::string& value) { return QString::fromStdString(value); }

// `rowsLeft` of the line's batch, -1 for a station's figures: the rows are the line's, which
// every station of it takes from.
QJsonObject FiguresJson(const TFigures& f, int rowsLeft) {
  QJsonObject reasons;
  for (const auto& [reason, count] : f.Reasons) reasons[Text(reason)] = count;
  QJsonArray hours;
  for (int count : f.Hours) hours.append(count);
  return {{"written", f.Written},
          {"errors", f.Errors},
          {"reasons", reasons},
          {"rowsLeft", rowsLeft},
          {"unitsPerHour", f.UnitsPerHour},
          {"hours", hours},
          {"firstPassYield", f.FirstPassYield}};
}

QJsonObject SlotJson(const TStateRecord& r) {
  TSlotState state;
  state.Phase = PhaseOf(r.Phase);
  state.Port = r.Port;
  state.Label = r.Label;
  state.Detail = r.Detail;
  state.Step = r.Step;
  state.Steps = r.Steps;
  return {{"slot", r.Slot},
          {"port", Text(r.Port)},
          {"phase", Text(r.Phase)},
          {"words", Text(state.Words())},
          {"label", Text(r.Label)},
          {"row", r.Position},
          {"seconds", static_cast<qint64>(std::max(0LL, r.AgeMs / 1000))},
          {"tone", ToneName(PhaseTone(state.Phase))},
          {"sign", PhaseSign(state.Phase)}};
}

const TStationLook& LookOf(const TStateRecord& station) {
  if (station.Phase == "stopped") return kStationLooks[1];
  if (station.BeatMs > 0 && station.QuietMs > kQuietBeats * station.BeatMs) return kStationLooks[2];
  return kStationLooks[0];
}

}  // namespace

QJsonObject LineSnapshot(const TLineRecord& record, const QDateTime& since, const QDateTime& now) {
  // Each station once: its latest start on its PC (an earlier start's states stay in the record).
  std::map<std::pair<std::string, std::string>, const TStateRecord*> latest;
  for (const TStateRecord& r : record.States) {
    if (r.Slot != 0) continue;
    const TStateRecord*& held = latest[{r.Station, r.Pc}];
    if (!held || r.QuietMs < held->QuietMs) held = &r;
  }
  QJsonArray stations;
  for (const auto& [name, station] : latest) {
    if (station->Phase == "stopped" && station->QuietMs > kForgottenMs) continue;
    std::set<std::string> names;
    QJsonArray tiles;
    for (const TStateRecord& r : record.States)
      if (r.Instance == station->Instance && r.Slot > 0) {
        tiles.append(SlotJson(r));
        names.insert(r.RecordName);
      }
    std::vector<TAttemptRecord> own;
    for (const TAttemptRecord& a : record.Attempts)
      if (names.count(a.Station)) own.push_back(a);
    const TStationLook& look = LookOf(*station);
    stations.append(QJsonObject{{"station", Text(station->Station)},
                                {"pc", Text(station->Pc)},
                                {"state", look.Words},
                                {"tone", ToneName(look.Tone)},
                                {"sign", look.Sign},
                                {"quietSeconds", static_cast<qint64>(station->QuietMs / 1000)},
                                {"slots", tiles},
                                {"figures", FiguresJson(CountFigures(own, since, now, 0), -1)}});
  }
  const TFigures line = CountFigures(record.Attempts, since, now, kFailedShown, true);
  QJsonArray failed;
  for (const TAttemptRecord& a : line.Last)
    failed.append(QJsonObject{{"time", Text(a.Time)},
                              {"station", Text(a.Station)},
                              {"port", Text(a.Port)},
                              {"row", a.Position},
                              {"label", Text(a.Label)},
                              {"result", Text(a.Result)},
                              {"reason", Text(Reason(a))}});
  return {{"since", since.toString(Qt::ISODate)},
          {"now", now.toString(Qt::ISODate)},
          {"stations", stations},
          {"line", FiguresJson(line, record.RowsLeft)},
          {"failed", failed}};
}
