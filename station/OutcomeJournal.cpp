#include "station/OutcomeJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>
#include <cerrno>
#include <cstring>

#include "link/VestraError.h"

namespace {

// The file's room: one outcome with the longest detail a station writes, and then some.
constexpr std::size_t kRoom = 8192;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw EVestraError("Журнал исходов станции " + path + ": " + what + " (" + std::strerror(errno) +
                     ")");
}

void SyncFolder(const QString& folder) {
  const int dir = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  fsync(dir);
  close(dir);
}

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
    const std::string path = QFile::encodeName(folder + "/" + name).toStdString();
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    // Locked: its station lives and commits its outcome itself.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      continue;
    }
    QByteArray bytes(static_cast<qsizetype>(kRoom), '\0');
    const ssize_t n = pread(fd, bytes.data(), kRoom, 0);
    bytes.truncate(std::max<ssize_t>(n, 0));
    try {
      const auto outcome = Decode(bytes);
      if (outcome && !Belongs(*outcome, store)) {
        close(fd);  // another database's, one that was replaced: left for it
        continue;
      }
      if (outcome) {
        store.CompleteAttempt(outcome->Attempt, outcome->RowId, outcome->Outcome);
        replayed.push_back(*outcome);
      }
    } catch (...) {
      close(fd);
      throw;
    }
    unlink(path.c_str());
    close(fd);
  }
  if (!replayed.empty()) SyncFolder(folder);
  return replayed;
}

TOutcomeJournal::TOutcomeJournal(const QString& folder) {
  const QString id = QUuid::createUuid().toString(QUuid::Id128);
  const std::string making = QFile::encodeName(folder + "/." + id).toStdString();
  FilePath = QFile::encodeName(folder + "/" + id).toStdString();
  Folder = QFile::encodeName(folder).toStdString();
  // A station that ends removes the folder when it is empty, maybe just after it was made here.
  for (int tries = 0; tries < 3 && Fd < 0; ++tries) {
    QDir().mkpath(folder);
    Fd = open(making.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
  if (Fd < 0) Fail("не удалось создать файл", making);
  // The destructor does not run for a journal that was never made.
  auto give = [&](const std::string& what) {
    const int error = errno;
    close(Fd);
    unlink(making.c_str());
    errno = error;
    Fail(what, making);
  };
  // Locked before it has its name, so that no replay takes it for a dead station's.
  if (flock(Fd, LOCK_EX) != 0) give("не удалось заблокировать файл");
  if (const int error = posix_fallocate(Fd, 0, kRoom); error != 0) {
    errno = error;
    give("нет места");
  }
  if (fsync(Fd) != 0 || rename(making.c_str(), FilePath.c_str()) != 0)
    give("не удалось записать файл");
  SyncFolder(folder);
}

TOutcomeJournal::~TOutcomeJournal() {
  if (!Holds) {
    unlink(FilePath.c_str());
    rmdir(Folder.c_str());  // only when no other station's file is left there
  }
  close(Fd);
}

void TOutcomeJournal::Keep(const TJournaledOutcome& outcome) {
  QByteArray bytes = Encode(outcome);
  bytes.resize(static_cast<qsizetype>(kRoom), '\0');
  // Within the room taken at the start: a full disk still takes it.
  for (std::size_t done = 0; done < kRoom;) {
    const ssize_t n = pwrite(Fd, bytes.constData() + done, kRoom - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("не удалось записать исход", FilePath);
    done += static_cast<std::size_t>(n);
  }
  while (fdatasync(Fd) != 0)
    if (errno != EINTR) Fail("не удалось записать исход", FilePath);
  Holds = true;
}

void TOutcomeJournal::Clear() {
  const QByteArray zeros(static_cast<qsizetype>(kRoom), '\0');
  // Left as it is when this fails: a replay finds the outcome already in the database.
  if (pwrite(Fd, zeros.constData(), kRoom, 0) == static_cast<ssize_t>(kRoom) && fdatasync(Fd) == 0)
    Holds = false;
}
