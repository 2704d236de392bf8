#include "station/ProvisionSetup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSysInfo>

#include "link/Integer.h"
#include "link/VestraError.h"
#include "station/BatchRows.h"
#include "station/OutcomeJournal.h"
#include "station/ProvisionLog.h"
#include "station/Scans.h"
#include "station/Session.h"
#include "station/Slots.h"

namespace {

int PositiveOption(const TSession& session, const char* name) {
  if (!session.Options.isSet(name)) return 0;
  auto n = ToInteger(session.Options.value(name).toStdString());
  if (!n || *n <= 0) throw EUsage{std::string("--") + name + " принимает целое число больше 0"};
  return *n;
}

}  // namespace

TProvisionOptions ReadOptions(TSession& session) {
  TProvisionOptions options;
  options.Count = PositiveOption(session, "count");
  options.Slot = PositiveOption(session, "slot");
  if (const int lease = PositiveOption(session, "lease")) options.LeaseMs = lease * 1000LL;
  const QStringList portValues = session.Options.values("port");
  options.Automatic = portValues.contains("auto");
  if (options.Automatic) {
    options.Ports = session.PortNames;
  } else {
    for (const QString& port : portValues) {
      session.SelectPort(port);
      options.Ports.push_back(session.Port);
    }
    if (options.Ports.empty()) {
      session.SelectPort();
      if (session.Port.empty()) throw EUsage{"не выбран порт: укажите --port"};
      options.Ports.push_back(session.Port);
    }
  }
  options.Queue = session.Options.isSet("units");
  options.Scan = session.Options.isSet("scan");
  if (options.Scan && !options.Queue)
    throw EUsage{"--scan связывает метку со строкой таблицы: укажите --units"};
  if (options.Scan && !ScanningAvailable())
    throw EUsage{"--scan на этой системе пока не поддерживается"};
  // The scanner is read by the station, which hands each label to its slot's worker.
  options.Supervising = options.Slot == 0 && (options.Ports.size() > 1 || options.Automatic ||
                                              session.Options.isSet("json") || options.Scan);
  // A slot is a station of the record in its own right: a restarted worker marks its own
  // predecessor's attempt interrupted and releases its claim, never another slot's.
  options.Station = session.Options.isSet("station")
                        ? session.Options.value("station").toStdString()
                        : QSysInfo::machineHostName().toStdString() + ":" +
                              (options.Automatic ? std::string("auto") : options.Ports.front());
  if (options.Slot > 0 && session.Options.isSet("station"))
    options.Station += "/" + std::to_string(options.Slot) + ":" + options.Ports.front();
  // A slot's worker is handed its station's database out of its command line, which every user
  // of the PC may read. Taken as the system holds it: the C runtime's copy, which
  // qEnvironmentVariable reads, has a Windows program's environment through the ANSI code page,
  // which may lack the letters of the database's folder.
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  options.Db = options.Slot > 0 && environment.contains(kWorkerDbVariable)
                   ? environment.value(kWorkerDbVariable)
                   : StationDb(session);
  return options;
}

// The store and the log, ready before anything is sent; the outcomes that a station gone left in
// its journal are committed first, and a worker's attempts that its predecessor left started are
// marked interrupted. A station that handles units gets its own journal.
void OpenRecord(TSession& session, const TProvisionOptions& options, const TPlan& templatePlan,
                const std::vector<TPlan>& plans, std::unique_ptr<TStationStore>& store,
                std::unique_ptr<TProvisionLog>& log, std::unique_ptr<TOutcomeJournal>& journal) {
  const QString templateFile = session.Options.positionalArguments().value(0);
  QFile file(templateFile);
  if (!file.open(QIODevice::ReadOnly))
    throw EVestraError("Не удалось открыть файл " + templateFile.toStdString());
  const TBatchRows batch =
      BatchRows(templatePlan, file.readAll(), options.Queue ? plans : std::vector<TPlan>());
  const QString& db = options.Db;
  if (db == TStationStore::DefaultFile()) QDir().mkpath(QFileInfo(db).absolutePath());
  // Said once, by the station rather than each of its workers: which record it goes on with.
  if (options.Slot == 0)
    session.Person->Say("База станции: " + TStationStore::Shown(db).toStdString());
  store = std::make_unique<TStationStore>(db, options.Station);
  store->Note = [&session](const std::string& note) { session.Person->Say(note); };
  store->SetLease(options.LeaseMs);
  store->OpenBatch(batch.Identity, batch.Rows, batch.EarlierIdentity);
  log = std::make_unique<TProvisionLog>(session.Options.value("log"));
  const QString journalFolder = TOutcomeJournal::FolderFor(db);
  for (const TJournaledOutcome& replayed : TOutcomeJournal::Replay(journalFolder, *store)) {
    log->Append(TProvisionLog::Fields(store->Attempt(replayed.Attempt)));
    session.Person->Say(
        "Из журнала станции записан исход попытки " + replayed.Outcome.Time +
        (replayed.Position > 0 ? ", строка " + std::to_string(replayed.Position) : std::string()) +
        ": " + replayed.Outcome.Result);
  }
  if (options.Supervising) return;  // the supervisor's name is no worker's
  journal = std::make_unique<TOutcomeJournal>(journalFolder);
  for (const TAttemptRecord& interrupted : store->MarkInterrupted()) {
    log->Append(TProvisionLog::Fields(interrupted));
    session.Person->Say("Прервана попытка " + interrupted.Time + " на " + interrupted.Port +
                        (interrupted.Position > 0
                             ? ", строка " + std::to_string(interrupted.Position)
                             : std::string()));
  }
}
