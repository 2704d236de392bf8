// The figures of a shift, counted from the record's attempts: what the operator's window shows
// for its station and the dashboard for each station and the line, so that they equal what
// `vestra-cli report` lists.
//
// An attempt counts in the period when it was started at or after `since`. Written are the
// attempts that ended "ok"; errors those that ended otherwise ("already", a unit that held a done
// row and was left alone, is neither, and one still "started" is not counted yet). The units per
// hour are those written in the last 15 minutes, times four. The first-pass yield is the share of
// rows (or of template units) tried in the period whose first attempt there was written.
#pragma once

#include <QDateTime>
#include <map>
#include <string>
#include <vector>

#include "station/StationStore.h"

struct TFigures {
  int Written = 0, Errors = 0;
  std::map<std::string, int> Reasons;  // errors by their reason
  double UnitsPerHour = 0;             // over the last 15 minutes
  std::vector<int> Hours;              // written per hour of the period, from `since`
  double FirstPassYield = -1;          // 0..1; -1: nothing tried yet
  std::vector<TAttemptRecord> Last;    // the latest attempts, newest first
};

// `attempts` in the record's order (as TStationStore::Attempts gives them); `last` attempts
// are kept, of every result or only the failed ones.
TFigures CountFigures(const std::vector<TAttemptRecord>& attempts, const QDateTime& since,
                      const QDateTime& now, int last = 20, bool failedOnly = false);

// Whether an attempt's result is a failure; its reason as the figures group it.
bool Failed(const TAttemptRecord& attempt);
std::string Reason(const TAttemptRecord& attempt);
