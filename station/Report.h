// The record as `vestra-cli report` prints it, for every face that hands it out (the terminal,
// the operator's window, the dashboard): one CSV line per attempt after the header (the log's
// columns, the station and the label scanned for the unit), or one JSON object per line, numbers as numbers and what an attempt
// has not got as null. No control character of what reached the record (a unit's version text)
// is left in it.
#pragma once

#include <string>
#include <vector>

#include "station/StationStore.h"

enum class TReportFormat { Csv, Json };

std::vector<std::string> ReportLines(const std::vector<TAttemptRecord>& attempts,
                                     TReportFormat format);
