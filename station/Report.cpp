// vestra-cli report: every attempt of the station's record, one CSV line (the log's columns and
// the station) or one JSON object per line, and on standard error the summary of the batch used
// last: rows done, rows left, attempts by result.
#include "station/Report.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "link/VestraError.h"
#include "params/Judgement.h"
#include "station/ProvisionLog.h"
#include "station/Session.h"
#include "station/StationStore.h"
#include "station/UnitsCsv.h"

QString StationDb(const TSession& session) {
  return session.Options.isSet("db") ? session.Options.value("db") : TStationStore::DefaultFile();
}

std::vector<std::string> ReportLines(const std::vector<TAttemptRecord>& attempts,
                                     TReportFormat format) {
  std::vector<std::string> columns = TProvisionLog::Columns();
  columns.push_back("station");
  columns.push_back("scanned");
  std::vector<std::string> lines;
  if (format == TReportFormat::Csv) lines.push_back(CsvLine(columns));
  for (const TAttemptRecord& attempt : attempts) {
    std::vector<std::string> fields = TProvisionLog::Fields(attempt);
    fields.push_back(attempt.Station);
    fields.push_back(attempt.Scanned);
    for (std::string& field : fields) field = ShownEscaped(field);
    if (format == TReportFormat::Csv) {
      lines.push_back(TProvisionLog::SpreadsheetLine(fields));
      continue;
    }
    QJsonObject object;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const QString value = QString::fromStdString(fields[i]);
      const bool number = columns[i] == "row" || columns[i].ends_with("_s");
      object[QString::fromStdString(columns[i])] = !number           ? QJsonValue(value)
                                                   : value.isEmpty() ? QJsonValue()
                                                                     : value.toDouble();
    }
    lines.push_back(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
  }
  return lines;
}

int RunReport(TSession& session) {
  const QString format = session.Options.isSet("format") ? session.Options.value("format") : "csv";
  if (format != "csv" && format != "json")
    throw EUsage{"--format принимает csv или json, а не " + format.toStdString()};
  try {
    // Reporting never makes a database of its own.
    const QString db = StationDb(session);
    if (!TStationStore::IsPostgres(db) && !QFileInfo::exists(db))
      throw EVestraError("Нет базы данных станции " + db.toStdString());
    TStationStore store(db);
    for (const std::string& line :
         ReportLines(store.Attempts(), format == "csv" ? TReportFormat::Csv : TReportFormat::Json))
      PrintLine(line);
    const TStoreCounts counts = store.Counts();
    std::string byResult;
    for (const auto& [result, n] : counts.Attempts)
      byResult += (byResult.empty() ? "" : ", ") + result + " " + std::to_string(n);
    session.Person->Say("Строк записано: " + std::to_string(counts.Done) +
                        ", осталось: " + std::to_string(counts.Left) +
                        "; попыток: " + (byResult.empty() ? "нет" : byResult));
  } catch (const std::exception& error) {
    session.ShowError(error.what());
    return ExitFailed;
  }
  return ExitDone;
}
