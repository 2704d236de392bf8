// vestra-cli report: every attempt of the station's record, one CSV line (the log's columns and
// the station) or one JSON object per line, and on standard error the summary of the batch used
// last: rows done, rows left, attempts by result.
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

int RunReport(TSession& session) {
  const QString format = session.Options.isSet("format") ? session.Options.value("format") : "csv";
  if (format != "csv" && format != "json")
    throw EUsage{"--format принимает csv или json, а не " + format.toStdString()};
  std::vector<std::string> columns = TProvisionLog::Columns();
  columns.push_back("station");
  try {
    // Reporting never makes a database of its own.
    const QString db = StationDb(session);
    if (!TStationStore::IsPostgres(db) && !QFileInfo::exists(db))
      throw EVestraError("Нет базы данных станции " + db.toStdString());
    TStationStore store(db);
    if (format == "csv") PrintLine(CsvLine(columns));
    for (const TAttemptRecord& attempt : store.Attempts()) {
      std::vector<std::string> fields = TProvisionLog::Fields(attempt);
      fields.push_back(attempt.Station);
      // Whatever reached the record (a unit's version text), no control character reaches the
      // terminal.
      for (std::string& field : fields) field = ShownEscaped(field);
      if (format == "csv") {
        PrintLine(TProvisionLog::SpreadsheetLine(fields));
        continue;
      }
      // Numbers as numbers, and what the attempt has not got as null.
      QJsonObject object;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const QString value = QString::fromStdString(fields[i]);
        const bool number = columns[i] == "row" || columns[i].ends_with("_s");
        object[QString::fromStdString(columns[i])] = !number           ? QJsonValue(value)
                                                     : value.isEmpty() ? QJsonValue()
                                                                       : value.toDouble();
      }
      PrintLine(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
    }
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
