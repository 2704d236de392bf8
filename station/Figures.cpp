#include "station/Figures.h"

#include <set>

namespace {

constexpr qint64 kRecentSeconds = 15 * 60;

bool Counted(const TAttemptRecord& attempt) {
  return attempt.Result != "started" && attempt.Result != "already";
}

}  // namespace

bool Failed(const TAttemptRecord& attempt) { return Counted(attempt) && attempt.Result != "ok"; }

std::string Reason(const TAttemptRecord& attempt) {
  if (attempt.Result == "differences") return "расхождения";
  if (attempt.Result == "interrupted") return "прервано";
  return attempt.Detail.empty() ? attempt.Result : attempt.Detail;
}

TFigures CountFigures(const std::vector<TAttemptRecord>& attempts, const QDateTime& since,
                      const QDateTime& now, int last, bool failedOnly) {
  TFigures figures;
  // The record keeps whole seconds: an attempt of the shift's first second belongs to it.
  const QDateTime from = since.addMSecs(-since.time().msec());
  const qint64 hours = std::max<qint64>(since.secsTo(now) / 3600 + 1, 1);
  figures.Hours.assign(static_cast<std::size_t>(hours), 0);
  // A row tried again in the period is judged by its first attempt there.
  std::set<std::pair<int, std::string>> tried;
  int rows = 0, firstWritten = 0;
  for (const TAttemptRecord& attempt : attempts) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(attempt.Time), Qt::ISODate);
    if (!time.isValid() || time < from || !Counted(attempt)) continue;
    const bool written = attempt.Result == "ok";
    if (written) {
      ++figures.Written;
      if (time.secsTo(now) < kRecentSeconds) figures.UnitsPerHour += 3600.0 / kRecentSeconds;
      const qint64 hour = from.secsTo(time) / 3600;
      if (hour < hours) ++figures.Hours[static_cast<std::size_t>(hour)];
    } else {
      ++figures.Errors;
      ++figures.Reasons[Reason(attempt)];
    }
    // The template alone has no row: each of its attempts is a unit of its own.
    if (attempt.Position == 0 || tried.insert({attempt.Position, attempt.Label}).second) {
      ++rows;
      firstWritten += written;
    }
  }
  if (rows > 0) figures.FirstPassYield = static_cast<double>(firstWritten) / rows;
  for (auto it = attempts.rbegin();
       it != attempts.rend() && static_cast<int>(figures.Last.size()) < last; ++it) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(it->Time), Qt::ISODate);
    if (time.isValid() && time >= from && (!failedOnly || Failed(*it)))
      figures.Last.push_back(*it);
  }
  return figures;
}
