#include "station/OutcomeJournal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>

#include "link/VestraError.h"
#include "station/System.h"

namespace {

// The file's room: one outcome with the longest detail a station writes, and then some.
constexpr std::size_t kRoom = 8192;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw EVestraError("Журнал исходов станции " + path + ": " + what + " (" + LastSystemError() +
                     ")");
}

// Files and folders are named in the bytes the system's calls take.
// UTF-8, as the system's calls take names (station/System.h); QFile::encodeName would give the
// ANSI code page on Windows, which may lack the folder's letters.
std::string Native(const QString& path) { return path.toStdString(); }

QByteArray Encode(const TJournaledOutcome& o) {
  QJsonObject object{{"attempt", o.Attempt},
                     {"row_id", o.RowId},
                     {"row", o.Position},
                     {"label", QString::fromStdString(o.Label)},
                     {"result", QString::fromStdString(o.Outcome.Result)},
                     {"time", QString::fromStdString(o.Outcome.Time)},
                     {"wait_s", o.Outcome.WaitS},
                     {"write_s", o.Outcome.WriteS},
                     {"verify_s", o.Outcome.VerifyS}};
  // A detail too long for the room is cut: the result and the timings are what matter.
  QString detail = QString::fromStdString(o.Outcome.Detail);
  QByteArray bytes;
  do {
    object["detail"] = detail;
    bytes = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    detail.chop(std::max<qsizetype>(detail.size() / 4, 1));
  } while (static_cast<std::size_t>(bytes.size()) > kRoom && !detail.isEmpty());
  return bytes;
}

std::optional<TJournaledOutcome> Decode(const QByteArray& bytes) {
  const QByteArray line = bytes.left(bytes.indexOf('\n'));
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  if (object.isEmpty() || !object.contains("attempt")) return std::nullopt;
  TJournaledOutcome o;
  o.Attempt = object["attempt"].toInteger();
  o.RowId = object["row_id"].toInteger();
  o.Position = object["row"].toInt();
  o.Label = object["label"].toString().toStdString();
  o.Outcome = {object["result"].toString().toStdString(),
               object["detail"].toString().toStdString(),
               object["wait_s"].toDouble(),
               object["write_s"].toDouble(),
               object["verify_s"].toDouble(),
               object["time"].toString().toStdString()};
  return o;
}

// Whether the store holds the outcome's attempt, on the same row of the table.
bool Belongs(const TJournaledOutcome& o, TStationStore& store) {
  try {
    const TAttemptRecord attempt = store.Attempt(o.Attempt);
    return attempt.Position == o.Position && attempt.Label == o.Label;
  } catch (const EVestraError&) {
    return false;
  }
}

}  // namespace

QString TOutcomeJournal::FolderFor(const QString& db) {
  if (!TStationStore::IsPostgres(db)) return QFileInfo(db).absoluteFilePath() + "-outcomes";
  // A line's database has no file beside it: the user's data folder, one folder per database
  // (named without its password, which may change).
  const QByteArray name = TStationStore::Shown(db).toUtf8();
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         "/vestra/outcomes-" +
         QCryptographicHash::hash(name, QCryptographicHash::Sha256).toHex().left(16);
}

std::vector<TJournaledOutcome> TOutcomeJournal::Replay(const QString& folder,
                                                       TStationStore& store) {
  std::vector<TJournaledOutcome> replayed;
  // Files being made start with a dot: they hold nothing yet.
  for (const QString& name : QDir(folder).entryList(QDir::Files)) {
    const QString path = folder + "/" + name;
    TDurableFile file(Native(path), TDurableFile::TOpen::Existing);
    // Locked: its station lives and commits its outcome itself.
    if (!file.Opened() || !file.Lock(false)) continue;
    QByteArray bytes(static_cast<qsizetype>(kRoom), '\0');
    bytes.truncate(std::max<qsizetype>(file.ReadAt(bytes.data(), kRoom, 0), 0));
    const auto outcome = Decode(bytes);
    // Another database's, one that was replaced: left for it.
    if (outcome && !Belongs(*outcome, store)) continue;
    if (outcome) {
      store.CompleteAttempt(outcome->Attempt, outcome->RowId, outcome->Outcome);
      replayed.push_back(*outcome);
    }
    QFile::remove(path);
  }
  if (!replayed.empty()) SyncFolder(Native(folder));
  return replayed;
}

TOutcomeJournal::TOutcomeJournal(const QString& folder) {
  const QString id = QUuid::createUuid().toString(QUuid::Id128);
  const QString making = folder + "/." + id;
  FilePath = Native(folder + "/" + id);
  Folder = Native(folder);
  // A station that ends removes the folder when it is empty, maybe just after it was made here.
  for (int tries = 0; tries < 3 && !(File && File->Opened()); ++tries) {
    QDir().mkpath(folder);
    File = std::make_unique<TDurableFile>(Native(making), TDurableFile::TOpen::New);
  }
  if (!File->Opened()) Fail("не удалось создать файл", Native(making));
  // The destructor does not run for a journal that was never made.
  auto give = [&](const std::string& what) {
    std::string why = what + " (" + LastSystemError() + ")";
    File.reset();
    QFile::remove(making);
    throw EVestraError("Журнал исходов станции " + Native(making) + ": " + why);
  };
  // Locked before it has its name, so that no replay takes it for a dead station's.
  if (!File->Lock(true)) give("не удалось заблокировать файл");
  if (!File->Reserve(kRoom)) give("нет места");
  if (!File->Sync() || !QFile::rename(making, QString::fromStdString(FilePath)))
    give("не удалось записать файл");
  SyncFolder(Folder);
}

TOutcomeJournal::~TOutcomeJournal() {
  if (!Holds) {
    QFile::remove(QString::fromStdString(FilePath));
    File.reset();
    // Only when no other station's file is left there.
    QDir().rmdir(QString::fromStdString(Folder));
  }
}

void TOutcomeJournal::Keep(const TJournaledOutcome& outcome) {
  QByteArray bytes = Encode(outcome);
  bytes.resize(static_cast<qsizetype>(kRoom), '\0');
  // Within the room taken at the start: a full disk still takes it.
  if (!File->WriteAt(bytes.constData(), kRoom, 0) || !File->Sync())
    Fail("не удалось записать исход", FilePath);
  Holds = true;
}

void TOutcomeJournal::Clear() {
  const QByteArray zeros(static_cast<qsizetype>(kRoom), '\0');
  // Left as it is when this fails: a replay finds the outcome already in the database.
  if (File->WriteAt(zeros.constData(), kRoom, 0) && File->Sync()) Holds = false;
}
