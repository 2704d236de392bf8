// The station's CSV files are not read on Windows yet (libcsv is built for Linux only); the
// station itself stays on Linux, so only a stray call could come here, and it is told so.
#include "station/Session.h"
#include "station/UnitsCsv.h"

namespace {

[[noreturn]] void NotOnWindows() { throw EUsage{"таблицы CSV станции в Windows пока не читаются"}; }

}  // namespace

TCsvTable ReadCsvTable(const QString&) { NotOnWindows(); }

std::vector<std::vector<std::string>> ParseCsv(const std::string&, char, bool) { NotOnWindows(); }

std::string CsvLine(const std::vector<std::string>&) { NotOnWindows(); }
