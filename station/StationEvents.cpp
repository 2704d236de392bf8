#include "station/StationEvents.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <array>
#include <cmath>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 12> kNames = {
    "arrived", "claimed", "progress", "written", "verified", "finished",
    "left",    "error",   "retry",    "started", "scanned",  "refused",
};
static_assert(kNames.size() == static_cast<std::size_t>(TEventKind::Refused) + 1);

// The text fields, walked both ways.
struct TTextField {
  const char* Name;
  std::string TStationEvent::*Member;
};
const TTextField kTexts[] = {
    {"port", &TStationEvent::Port},         {"device", &TStationEvent::Device},
    {"firmware", &TStationEvent::Firmware}, {"label", &TStationEvent::Label},
    {"result", &TStationEvent::Result},     {"detail", &TStationEvent::Detail},
    {"phase", &TStationEvent::Phase},       {"template", &TStationEvent::Template},
    {"units", &TStationEvent::Table},       {"db", &TStationEvent::Db},
};

struct TIntField {
  const char* Name;
  int TStationEvent::*Member;
};
const TIntField kInts[] = {
    {"row", &TStationEvent::Row},
    {"step", &TStationEvent::Step},
    {"steps", &TStationEvent::Steps},
    {"retry_s", &TStationEvent::RetryS},
};

struct TSecondsField {
  const char* Name;
  double TStationEvent::*Member;
};
const TSecondsField kSeconds[] = {
    {"wait_s", &TStationEvent::WaitS},
    {"write_s", &TStationEvent::WriteS},
    {"verify_s", &TStationEvent::VerifyS},
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

const char* EventName(TEventKind kind) { return kNames[static_cast<std::size_t>(kind)].data(); }

std::string EventTimeNow() {
  const QDateTime now = QDateTime::currentDateTime();
  return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs).toStdString();
}

QByteArray EventJson(const TStationEvent& event) {
  QJsonObject object;
  object["version"] = TStationEvent::FormatVersion;
  object["time"] = Q(event.Time.empty() ? EventTimeNow() : event.Time);
  object["event"] = EventName(event.Kind);
  object["slot"] = event.Slot;
  object["port"] = Q(event.Port);
  for (const auto& field : kTexts)
    if (!(event.*field.Member).empty()) object[field.Name] = Q(event.*field.Member);
  for (const auto& field : kInts)
    if (event.*field.Member > 0) object[field.Name] = event.*field.Member;
  for (const auto& field : kSeconds)
    if (event.*field.Member >= 0)
      object[field.Name] = std::round(event.*field.Member * 1000) / 1000;
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TStationEvent> ParseEvent(const QByteArray& line) {
  const QJsonDocument document = QJsonDocument::fromJson(line);
  if (!document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  TStationEvent event;
  const std::string name = object["event"].toString().toStdString();
  std::size_t kind = 0;
  while (kind < kNames.size() && kNames[kind] != name) ++kind;
  if (kind == kNames.size()) return std::nullopt;
  event.Kind = static_cast<TEventKind>(kind);
  event.Time = object["time"].toString().toStdString();
  event.Slot = object["slot"].toInt();
  for (const auto& field : kTexts)
    event.*field.Member = object[field.Name].toString().toStdString();
  for (const auto& field : kInts) event.*field.Member = object[field.Name].toInt();
  for (const auto& field : kSeconds) event.*field.Member = object[field.Name].toDouble(-1);
  return event;
}
