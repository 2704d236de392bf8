#include "station/ProvisionLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "station/StationStore.h"
#include "station/UnitsCsv.h"

namespace {

std::runtime_error Failure(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

const std::vector<std::string>& TProvisionLog::Columns() {
  static const std::vector<std::string> columns = {"time",   "port",    "device",  "firmware",
                                                   "row",    "unit",    "result",  "detail",
                                                   "wait_s", "write_s", "verify_s"};
  return columns;
}

std::vector<std::string> TProvisionLog::Fields(const TAttemptRecord& a) {
  auto seconds = [](const std::optional<double>& value) {
    if (!value) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return std::string(text);
  };
  return {a.Time,
          a.Port,
          a.Device,
          a.Firmware,
          a.Position > 0 ? std::to_string(a.Position) : std::string(),
          a.Label,
          a.Result,
          a.Detail,
          seconds(a.WaitS),
          seconds(a.WriteS),
          seconds(a.VerifyS)};
}

TProvisionLog::TProvisionLog(const QString& fileName) : Path(QFile::encodeName(fileName)) {
  if (fileName.isEmpty()) return;
  QFile old(fileName);
  bool torn = false;
  if (old.exists() && old.size() > 0) {
    // A line cut short by a crash or a full disk must not swallow the next one.
    if (!old.open(QIODevice::ReadOnly) || !old.seek(old.size() - 1))
      throw Failure("Не удалось открыть журнал", Path);
    torn = old.read(1) != "\n";
  }
  const bool fresh = !old.exists() || old.size() == 0;
  Fd = open(Path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (Fd < 0) throw Failure("Не удалось открыть журнал", Path);
  if (torn) WriteDurably("\n");
  if (fresh) {
    WriteDurably(CsvLine(Columns()) + "\n");
    // The new file's name must survive a power cut as well as its lines.
    const std::string folder = QFile::encodeName(QFileInfo(fileName).absolutePath()).toStdString();
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
}

TProvisionLog::~TProvisionLog() {
  if (Fd >= 0) close(Fd);
}

void TProvisionLog::Append(const std::vector<std::string>& fields) {
  if (Fd >= 0) WriteDurably(CsvLine(fields) + "\n");
}

void TProvisionLog::WriteDurably(const std::string& line) {
  // O_APPEND: each line lands at the end, whoever else appends.
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(Fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Failure("Не удалось записать журнал", Path);
    done += static_cast<std::size_t>(n);
  }
  while (fsync(Fd) != 0)
    if (errno != EINTR) throw Failure("Не удалось записать журнал", Path);
}
