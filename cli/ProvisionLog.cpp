#include "cli/ProvisionLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/UnitsCsv.h"
#include "params/ParamList.h"

namespace {

const std::size_t kRowColumn = 4;
const std::size_t kResultColumn = 6;

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

TProvisionLog::TProvisionLog(const QString& fileName) : Path(QFile::encodeName(fileName)) {
  if (fileName.isEmpty()) return;
  QFile old(fileName);
  if (old.exists()) {
    if (!old.open(QIODevice::ReadOnly)) throw Failure("Не удалось открыть журнал", Path);
    const QByteArray text = old.readAll();
    // A line cut short by a crash is no unit done, and the next line must start on its own.
    Torn = !text.isEmpty() && !text.endsWith('\n');
    for (const auto& fields : ParseCsv(text.toStdString(), ',', false)) {
      if (fields.size() <= kResultColumn || fields[kResultColumn] != "ok") continue;
      if (auto row = ToInteger(fields[kRowColumn]); row && *row > 0) Done.insert(*row);
    }
  }
  const bool fresh = !old.exists() || old.size() == 0;
  Fd = open(Path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (Fd < 0) throw Failure("Не удалось открыть журнал", Path);
  if (Torn) WriteDurably("\n");
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
