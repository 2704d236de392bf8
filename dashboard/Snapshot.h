// The line as the dashboard shows it, at one moment: every station with its slots' tiles, the
// figures of each station and of the line for the shift, the latest failed attempts. One JSON
// object, the page's only input; every text in it is a value, never markup.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <vector>

#include "station/StationStore.h"

// How many of the latest failed attempts the page lists.
inline constexpr int kFailedShown = 50;

struct TLineRecord {
  std::vector<TStateRecord> States;
  std::vector<TAttemptRecord> Attempts;
  int RowsLeft = -1;  // of the batch used last; -1: none
};

// `since`: the start of the shift; `now`: the moment of the figures.
QJsonObject LineSnapshot(const TLineRecord& record, const QDateTime& since, const QDateTime& now);
