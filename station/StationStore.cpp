#include "station/StationStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <iterator>

#include "station/StoreImpl.h"
#include "station/System.h"

namespace {

// Version 1. A later release adds its steps after these and raises kSchemaVersion.
const char* const kSchema[] = {
    "CREATE TABLE vestra_schema (version INTEGER NOT NULL)",
    "CREATE TABLE batches (id {id}, identity TEXT NOT NULL UNIQUE, used_at BIGINT NOT NULL)",
    "CREATE TABLE queue_rows (id {id}, identity TEXT NOT NULL UNIQUE, label TEXT NOT NULL, "
    "row_values TEXT NOT NULL, done INTEGER NOT NULL DEFAULT 0, claimed_by TEXT, "
    "lease_until BIGINT)",
    "CREATE TABLE batch_rows (batch_id BIGINT NOT NULL, row_id BIGINT NOT NULL, "
    "position INTEGER NOT NULL, PRIMARY KEY (batch_id, row_id))",
    "CREATE TABLE attempts (id {id}, batch_id BIGINT, row_id BIGINT, position INTEGER NOT NULL, "
    "label TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL, device TEXT NOT NULL, "
    "firmware TEXT NOT NULL, result TEXT NOT NULL, detail TEXT NOT NULL, started_at TEXT NOT "
    "NULL, completed_at TEXT, wait_s DOUBLE PRECISION, write_s DOUBLE PRECISION, "
    "verify_s DOUBLE PRECISION)",
    "CREATE INDEX attempts_open ON attempts (result, station)",
    "CREATE INDEX attempts_row ON attempts (row_id)",
    "INSERT INTO vestra_schema (version) VALUES (1)",
};

// The steps from one version to the next, each with the version it makes.
struct TUpgrade {
  int Version;
  const char* Step;
};
constexpr TUpgrade kUpgrades[] = {
    // Each start of a station is an instance of its own, and an attempt has a lease as its row
    // has: a started attempt whose lease ran out was interrupted, whatever its station's name.
    {2, "ALTER TABLE attempts ADD COLUMN instance TEXT"},
    {2, "ALTER TABLE attempts ADD COLUMN lease_until BIGINT"},
    // The label a scanner read for the unit, beside the row's own.
    {3, "ALTER TABLE attempts ADD COLUMN scanned TEXT"},
    // Every station says what it and each of its slots do, for the line's dashboard.
    {3,
     "CREATE TABLE station_states (instance TEXT NOT NULL, slot INTEGER NOT NULL, "
     "station TEXT NOT NULL, pc TEXT NOT NULL, record_name TEXT NOT NULL, port TEXT NOT NULL, "
     "phase TEXT NOT NULL, position INTEGER NOT NULL, label TEXT NOT NULL, detail TEXT NOT NULL, "
     "step INTEGER NOT NULL, steps INTEGER NOT NULL, since_ms BIGINT NOT NULL, "
     "heartbeat_ms BIGINT NOT NULL, beat_ms BIGINT NOT NULL, "
     "PRIMARY KEY (instance, slot))"},
};
static_assert(kUpgrades[std::size(kUpgrades) - 1].Version == TStationStore::kSchemaVersion);

// An attempt left "started" whose lease ran out reads "interrupted", as it is.
const char* const kResult =
    "CASE WHEN result = 'started' AND lease_until < {now} THEN 'interrupted' ELSE result END";
const QString kAttemptColumns =
    QString(
        "SELECT id, COALESCE(completed_at, started_at), port, device, firmware, position, "
        "label, %1, detail, wait_s, write_s, verify_s, station, scanned FROM attempts")
        .arg(kResult);

// This start of this program on this computer: a station's name may be given twice, an
// instance is never.
std::string NewInstance() {
  return QSysInfo::machineUniqueId().toHex().toStdString() + ":" + std::to_string(getpid()) + ":" +
         QUuid::createUuid().toString(QUuid::Id128).left(8).toStdString();
}

// Whether the instance is known to have ended: one of this computer whose process is gone.
bool Ended(const std::string& instance) {
  const QStringList parts = QString::fromStdString(instance).split(':');
  if (parts.size() != 3 || parts[0].toUtf8() != QSysInfo::machineUniqueId().toHex()) return false;
  bool number = false;
  const long long pid = parts[1].toLongLong(&number);
  return number && ProcessEnded(pid);
}

std::optional<double> Seconds(const QVariant& value) {
  if (value.isNull()) return std::nullopt;
  return value.toDouble();
}

}  // namespace

void TStationStore::TImpl::CreateSchema() {
  Transaction write(*this);
  if (Dialect.LockSchema) Run(Dialect.LockSchema);
  if (!Db.tables().contains("vestra_schema")) {
    for (const char* step : kSchema) Run(step);
  }
  const int version = Value("SELECT MAX(version) FROM vestra_schema").toInt();
  if (version > kSchemaVersion)
    throw EVestraError("База данных станции создана более новой версией программы (схема " +
                       std::to_string(version) + ")");
  for (const TUpgrade& upgrade : kUpgrades)
    if (upgrade.Version > version) Run(upgrade.Step);
  if (version < kSchemaVersion)
    Run("UPDATE vestra_schema SET version = " + QString::number(kSchemaVersion));
  write.Commit();
}

// A reader's check: the schema is there, and of this very version.
void TStationStore::TImpl::RequireSchema() {
  if (!Db.tables().contains("vestra_schema"))
    throw EVestraError("База данных станции" + Where + ": ни одна станция ещё не писала в неё");
  const int version = Value("SELECT MAX(version) FROM vestra_schema").toInt();
  if (version > kSchemaVersion)
    throw EVestraError("База данных станции создана более новой версией программы (схема " +
                       std::to_string(version) + ")");
  if (version < kSchemaVersion)
    throw EVestraError("База данных станции старой версии (схема " + std::to_string(version) +
                       "): её обновит первая станция этой версии, запущенная на ней");
}

long long TStationStore::TImpl::InsertAttempt(const QVariant& row, int position,
                                              const QString& label, const std::string& port,
                                              const std::string& device,
                                              const std::string& firmware,
                                              const QVariant& scanned) {
  return Value(
             "INSERT INTO attempts (batch_id, row_id, position, label, station, port, device, "
             "firmware, result, detail, started_at, instance, lease_until, scanned) "
             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'started', '', ?, ?, {now} + CAST(? AS BIGINT), "
             "?) RETURNING id",
             {Batch, row, position, label, QString::fromStdString(Station),
              QString::fromStdString(port), QString::fromStdString(device),
              QString::fromStdString(firmware), QString::fromStdString(TStationStore::LocalTime()),
              QString::fromStdString(Instance), LeaseMs, scanned})
      .toLongLong();
}

// The next open row of the batch (with `label` only, when given), leased to this station, and
// its attempt started, in one transaction.
std::optional<TClaim> TStationStore::TImpl::ClaimNext(const std::string& port,
                                                      const std::string& device,
                                                      const std::string& firmware,
                                                      const QVariant& label) {
  Transaction write(*this);
  QVariantList values{Batch};
  if (!label.isNull()) values.push_back(label);
  QSqlQuery next = Run(QString("SELECT r.id, b.position, r.label FROM queue_rows r "
                               "JOIN batch_rows b ON b.row_id = r.id "
                               "WHERE b.batch_id = ? AND r.done = 0 AND "
                               "(r.claimed_by IS NULL OR r.lease_until < {now}) %1"
                               "ORDER BY b.position LIMIT 1")
                               .arg(label.isNull() ? "" : "AND r.label = ? ") +
                           Dialect.ClaimLock,
                       values);
  if (!next.next()) return std::nullopt;  // rolled back: nothing was written
  TClaim claim{next.value(0).toLongLong(), next.value(1).toInt(), 0, Instance, LeaseMs};
  const QString rowLabel = next.value(2).toString();
  next.finish();
  // A station that let its lease run out died in the middle of its attempt.
  Run("UPDATE attempts SET result = 'interrupted' WHERE row_id = ? AND result = 'started'",
      {claim.RowId});
  Run("UPDATE queue_rows SET claimed_by = ?, lease_until = {now} + CAST(? AS BIGINT) "
      "WHERE id = ?",
      {QString::fromStdString(Instance), LeaseMs, claim.RowId});
  claim.Attempt = InsertAttempt(claim.RowId, claim.Position, rowLabel, port, device, firmware,
                                label.isNull() ? QVariant(QMetaType::fromType<QString>()) : label);
  write.Commit();
  return claim;
}

TAttemptRecord TStationStore::TImpl::Record(const QSqlQuery& q) const {
  TAttemptRecord r;
  r.Id = q.value(0).toLongLong();
  r.Time = q.value(1).toString().toStdString();
  r.Port = q.value(2).toString().toStdString();
  r.Device = q.value(3).toString().toStdString();
  r.Firmware = q.value(4).toString().toStdString();
  r.Position = q.value(5).toInt();
  r.Label = q.value(6).toString().toStdString();
  r.Result = q.value(7).toString().toStdString();
  r.Detail = q.value(8).toString().toStdString();
  r.WaitS = Seconds(q.value(9));
  r.WriteS = Seconds(q.value(10));
  r.VerifyS = Seconds(q.value(11));
  r.Station = q.value(12).toString().toStdString();
  r.Scanned = q.value(13).toString().toStdString();
  return r;
}

TStationStore::TStationStore(const QString& db, const std::string& station,
                             const std::string& instance, TStoreAccess access) {
  const bool readOnly = access == TStoreAccess::ReadOnly;
  const bool postgres = IsPostgres(db);
  Impl = std::make_unique<TImpl>(postgres ? kPostgres : kSqlite, station);
  Impl->Instance = instance.empty() ? NewInstance() : instance;
  if (!QSqlDatabase::isDriverAvailable(Impl->Dialect.Driver))
    throw EVestraError(std::string("Нет драйвера базы данных ") + Impl->Dialect.Driver +
                       MissingDriverHint(postgres));
  if (!postgres) Impl->Where = std::string(" ").append(db.toStdString());
  Impl->Note = &Note;
  Impl->Db = QSqlDatabase::addDatabase(Impl->Dialect.Driver, Impl->Name);
  try {
    if (postgres) {
      // A reader never writes, and learns within seconds that a server is gone.
      Impl->Db.setConnectOptions(
          ConnectionWords(db) +
          (readOnly ? " connect_timeout=5 options='-c default_transaction_read_only=on'"
                    : QString()));
    } else {
      Impl->Db.setDatabaseName(db);
      // Another station's transaction holds the file for milliseconds; wait for it. A longer
      // hold (another program) fails the operation, and the station tries it again later.
      Impl->Db.setConnectOptions(QString(readOnly ? "QSQLITE_OPEN_READONLY;" : "") +
                                 "QSQLITE_BUSY_TIMEOUT=10000");
    }
    if (!Impl->Db.open())
      throw EVestraError("Не удалось открыть базу данных станции" + Impl->Where + " (" +
                         Impl->Db.lastError().text().toStdString() + ")");
    if (readOnly) {
      Impl->RequireSchema();
    } else if (!postgres) {
      // Many readers beside one writer, and a commit on disk before the station goes on.
      // Stations that start together on a new file may both ask for WAL; SQLite refuses one of
      // them at once rather than let both wait, and that one finds WAL set when it asks again.
      QString mode;
      for (int tries = 0; tries < 10 && mode != "wal"; ++tries) {
        try {
          mode = Impl->Value("PRAGMA journal_mode=WAL").toString();
        } catch (const EVestraError&) {
          if (tries == 9) throw;
        }
      }
      if (mode != "wal")
        throw EVestraError("База данных станции" + Impl->Where +
                           ": не удалось включить журнал WAL");
      Impl->Run("PRAGMA synchronous=FULL");
    }
    if (!readOnly) Impl->CreateSchema();
    if (!postgres) {
      struct stat file {};
      Impl->File = QFile::encodeName(db).toStdString();
      if (stat(Impl->File.c_str(), &file) == 0) {
        Impl->Device = file.st_dev;
        Impl->Inode = file.st_ino;
      }
    }
  } catch (...) {
    // The destructor does not run for a store that never opened.
    const QString name = Impl->Name;
    Impl.reset();
    QSqlDatabase::removeDatabase(name);
    throw;
  }
}

TStationStore::~TStationStore() {
  const QString name = Impl->Name;
  Impl->Db.close();
  Impl.reset();
  QSqlDatabase::removeDatabase(name);
}

void TStationStore::OpenBatch(const std::string& identity, const std::vector<TStoreRow>& rows,
                              const std::string& earlierIdentity) {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    TImpl::Transaction write(s);
    const QString batch = QString::fromStdString(identity);
    if (!earlierIdentity.empty() &&
        s.Value("SELECT id FROM batches WHERE identity = ?", {batch}).isNull()) {
      s.Run("UPDATE batches SET identity = ? WHERE identity = ?",
            {batch, QString::fromStdString(earlierIdentity)});
      for (const TStoreRow& row : rows)
        s.Run(
            "UPDATE queue_rows SET identity = ? WHERE identity = ? AND NOT EXISTS "
            "(SELECT 1 FROM queue_rows q WHERE q.identity = ?)",
            {QString::fromStdString(row.Identity), QString::fromStdString(row.Earlier),
             QString::fromStdString(row.Identity)});
    }
    s.Run("INSERT INTO batches (identity, used_at) VALUES (?, {now}) ON CONFLICT DO NOTHING",
          {batch});
    s.Run("UPDATE batches SET used_at = {now} WHERE identity = ?", {batch});
    s.Batch = s.Value("SELECT id FROM batches WHERE identity = ?", {batch}).toLongLong();
    for (const TStoreRow& row : rows) {
      const QString id = QString::fromStdString(row.Identity);
      s.Run(
          "INSERT INTO queue_rows (identity, label, row_values) VALUES (?, ?, ?) "
          "ON CONFLICT DO NOTHING",
          {id, QString::fromStdString(row.Label), QString::fromStdString(row.Values)});
      s.Run(
          "INSERT INTO batch_rows (batch_id, row_id, position) "
          "SELECT CAST(? AS BIGINT), id, CAST(? AS INTEGER) FROM queue_rows WHERE identity = ? ON "
          "CONFLICT DO NOTHING",
          {s.Batch, row.Position, id});
    }
    write.Commit();
  });
}

std::vector<TAttemptRecord> TStationStore::MarkInterrupted() {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    TImpl::Transaction write(s);
    // A live station of the same name (on another port, another PC) keeps its attempts: only
    // those whose lease ran out, or whose process here is gone, were interrupted.
    std::vector<long long> ids;
    for (QSqlQuery q = s.Run(
             "SELECT id, instance, CASE WHEN lease_until IS NULL OR lease_until < {now} THEN 1 "
             "ELSE 0 END FROM attempts WHERE result = 'started' AND station = ?",
             {QString::fromStdString(s.Station)});
         q.next();)
      if (q.value(2).toInt() || Ended(q.value(1).toString().toStdString()))
        ids.push_back(q.value(0).toLongLong());
    for (long long id : ids) {
      s.Run(
          "UPDATE queue_rows SET claimed_by = NULL, lease_until = NULL WHERE claimed_by = "
          "(SELECT instance FROM attempts WHERE id = ?)",
          {id});
      s.Run("UPDATE attempts SET result = 'interrupted' WHERE id = ?", {id});
    }
    write.Commit();
    std::vector<TAttemptRecord> marked;
    for (long long id : ids) marked.push_back(Attempt(id));
    return marked;
  });
}

std::optional<TClaim> TStationStore::Claim(const std::string& port, const std::string& device,
                                           const std::string& firmware) {
  return Impl->Again([&] {
    return Impl->ClaimNext(port, device, firmware, QVariant(QMetaType::fromType<QString>()));
  });
}

std::optional<TClaim> TStationStore::ClaimLabel(const std::string& label, const std::string& port,
                                                const std::string& device,
                                                const std::string& firmware) {
  return Impl->Again([&] {
    return Impl->ClaimNext(port, device, firmware, QVariant(QString::fromStdString(label)));
  });
}

TLabelRows TStationStore::LabelRows(const std::string& label) {
  return Impl->Again([&] {
    QSqlQuery q = Impl->Run(
        "SELECT COUNT(*), COALESCE(SUM(r.done), 0), COALESCE(SUM(CASE WHEN r.done = 0 AND "
        "r.claimed_by IS NOT NULL AND r.lease_until >= {now} THEN 1 ELSE 0 END), 0) "
        "FROM batch_rows b JOIN queue_rows r ON r.id = b.row_id "
        "WHERE b.batch_id = ? AND r.label = ?",
        {Impl->Batch, QString::fromStdString(label)});
    TLabelRows rows;
    if (q.next()) rows = {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt()};
    return rows;
  });
}

void TStationStore::RenewLease(const TClaim& claim) {
  return Impl->Again([&] {
    Impl->Run(
        "UPDATE queue_rows SET lease_until = {now} + CAST(? AS BIGINT) WHERE id = ? AND "
        "claimed_by = ?",
        {claim.LeaseMs, claim.RowId, QString::fromStdString(claim.Instance)});
    Impl->Run(
        "UPDATE attempts SET lease_until = {now} + CAST(? AS BIGINT) WHERE id = ? AND "
        "result = 'started'",
        {claim.LeaseMs, claim.Attempt});
  });
}

long long TStationStore::StartAttempt(const std::string& port, const std::string& device,
                                      const std::string& firmware, const std::string& scanned) {
  return Impl->Again([&] {
    // No row, no label: an empty one, since a null QString would be bound as NULL.
    return Impl->InsertAttempt(QVariant(QMetaType::fromType<qlonglong>()), 0, QString(""), port,
                               device, firmware,
                               scanned.empty() ? QVariant(QMetaType::fromType<QString>())
                                               : QVariant(QString::fromStdString(scanned)));
  });
}

bool TStationStore::CompleteAttempt(long long attempt, long long rowId,
                                    const TOutcomeRecord& outcome) {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    TImpl::Transaction write(s);
    const QString result = QString::fromStdString(outcome.Result);
    // Done already (a replay, or a commit whose answer was lost): nothing more to do.
    if (s.Value("SELECT result FROM attempts WHERE id = ?", {attempt}).toString() == result)
      return true;
    s.Run(
        "UPDATE attempts SET result = ?, detail = ?, completed_at = ?, wait_s = ?, write_s = ?, "
        "verify_s = ? WHERE id = ?",
        {result, QString::fromStdString(outcome.Detail),
         QString::fromStdString(outcome.Time.empty() ? TStationStore::LocalTime() : outcome.Time),
         outcome.WaitS, outcome.WriteS, outcome.VerifyS, attempt});
    bool own = true;
    if (rowId && outcome.Result == "ok") {
      // The unit holds the row now, whoever claims it: it is done.
      own = s.Run(
                 "UPDATE queue_rows SET done = 1, claimed_by = NULL, lease_until = NULL "
                 "WHERE id = ? AND done = 0",
                 {rowId})
                .numRowsAffected() > 0;
    } else if (rowId) {
      s.Run(
          "UPDATE queue_rows SET claimed_by = NULL, lease_until = NULL "
          "WHERE id = ? AND claimed_by = ?",
          {rowId, QString::fromStdString(s.Instance)});
    }
    write.Commit();
    return own;
  });
}

TAttemptRecord TStationStore::Attempt(long long id) {
  return Impl->Again([&] {
    QSqlQuery q = Impl->Run(QString(kAttemptColumns) + " WHERE id = ?", {id});
    if (!q.next()) throw EVestraError("База данных станции: нет попытки " + std::to_string(id));
    return Impl->Record(q);
  });
}

std::vector<TAttemptRecord> TStationStore::Attempts() {
  return Impl->Again([&] {
    std::vector<TAttemptRecord> all;
    for (QSqlQuery q = Impl->Run(QString(kAttemptColumns) + " ORDER BY id"); q.next();)
      all.push_back(Impl->Record(q));
    return all;
  });
}

std::vector<TAttemptRecord> TStationStore::AttemptsFrom(long long id) {
  return Impl->Again([&] {
    std::vector<TAttemptRecord> later;
    for (QSqlQuery q = Impl->Run(QString(kAttemptColumns) + " WHERE id >= ? ORDER BY id", {id});
         q.next();)
      later.push_back(Impl->Record(q));
    return later;
  });
}

TStoreCounts TStationStore::Counts() {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    const QVariant batch =
        s.Batch ? QVariant(s.Batch)
                : s.Value("SELECT id FROM batches ORDER BY used_at DESC, id DESC LIMIT 1");
    TStoreCounts counts;
    for (QSqlQuery q =
             s.Run("SELECT r.done, COUNT(*) FROM batch_rows b JOIN queue_rows r ON r.id = b.row_id "
                   "WHERE b.batch_id = ? GROUP BY r.done",
                   {batch.isNull() ? QVariant(0LL) : batch});
         q.next();)
      (q.value(0).toInt() ? counts.Done : counts.Left) = q.value(1).toInt();
    for (QSqlQuery q = s.Run(
             QString("SELECT %1 AS shown, COUNT(*) FROM attempts GROUP BY shown").arg(kResult));
         q.next();)
      counts.Attempts[q.value(0).toString().toStdString()] = q.value(1).toInt();
    return counts;
  });
}

void TStationStore::SetLease(long long ms) { Impl->LeaseMs = ms; }

const std::string& TStationStore::Instance() const { return Impl->Instance; }

void TStationStore::RequireSameFile() const {
  if (Impl->File.empty()) return;
  struct stat now {};
  if (stat(Impl->File.c_str(), &now) != 0 || now.st_dev != Impl->Device ||
      now.st_ino != Impl->Inode)
    throw EVestraError("База данных станции" + Impl->Where +
                       " удалена или заменена другим файлом: станция остановлена, записи в неё "
                       "больше не попадут");
}

void TStationStore::Reconnect() {
  if (!Impl->Postgres()) return;
  Impl->Db.close();
  if (!Impl->Db.open())
    throw EVestraError("Не удалось открыть базу данных станции (" +
                       Impl->Db.lastError().text().toStdString() + ")");
}

// --- At the unit: a finished unit left alone, the claim confirmed before "#S" ---

long long TStationStore::LeaseMs() const { return Impl->LeaseMs; }

std::vector<int> TStationStore::DonePositions() {
  return Impl->Again([&] {
    std::vector<int> positions;
    for (QSqlQuery q =
             Impl->Run("SELECT b.position FROM batch_rows b JOIN queue_rows r ON r.id = b.row_id "
                       "WHERE b.batch_id = ? AND r.done = 1 ORDER BY b.position",
                       {Impl->Batch});
         q.next();)
      positions.push_back(q.value(0).toInt());
    return positions;
  });
}

long long TStationStore::StartAttemptOnRow(int position, const std::string& port,
                                           const std::string& device, const std::string& firmware) {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    QSqlQuery row = s.Run(
        "SELECT r.id, r.label FROM batch_rows b JOIN queue_rows r ON r.id = b.row_id "
        "WHERE b.batch_id = ? AND b.position = ?",
        {s.Batch, position});
    if (!row.next())
      throw EVestraError("База данных станции: нет строки " + std::to_string(position));
    const QVariant id = row.value(0);
    const QString label = row.value(1).toString();
    row.finish();
    return s.InsertAttempt(id, position, label, port, device, firmware);
  });
}

bool TStationStore::ConfirmClaim(const TClaim& claim) {
  // One statement: a station that claims the expired row meanwhile either comes first and
  // changes its holder, or comes after and finds the lease running again.
  return Impl->Again([&] {
    return Impl->Run(
                   "UPDATE queue_rows SET lease_until = {now} + CAST(? AS BIGINT) "
                   "WHERE id = ? AND claimed_by = ? AND done = 0",
                   {Impl->LeaseMs, claim.RowId, QString::fromStdString(claim.Instance)})
               .numRowsAffected() > 0;
  });
}
