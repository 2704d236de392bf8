#include "operator/StationConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include "link/VestraError.h"
#include "params/Judgement.h"
#include "station/StationStore.h"

namespace {

// The names the window reads, each into its field.
struct TKey {
  const char* Name;
  QString TStationConfig::*Field;
};
const TKey kKeys[] = {
    {"TEMPLATE", &TStationConfig::Template},
    {"UNITS", &TStationConfig::Units},
    {"SUPERVISOR", &TStationConfig::Supervisor},
};

const char kSupervisor[] = "SUPERVISOR";

// NAME=VALUE as systemd's EnvironmentFile= reads it, in the part the station uses: a value in
// double quotes or bare. False for a comment, a blank line or no NAME=.
bool SplitLine(const QString& line, QString& name, QString& value) {
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith('#') || trimmed.startsWith(';')) return false;
  const qsizetype equals = trimmed.indexOf('=');
  if (equals <= 0) return false;
  name = trimmed.left(equals).trimmed();
  value = trimmed.mid(equals + 1).trimmed();
  if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
    value = value.mid(1, value.size() - 2);
  return true;
}

}  // namespace

TStationConfig TStationConfig::Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    throw EVestraError("Не удалось открыть конфигурацию станции " + path.toStdString());
  TStationConfig config;
  config.Path = QFileInfo(path).absoluteFilePath();
  QString options;
  int number = 0;
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
    ++number;
    QString name, value;
    if (!SplitLine(line, name, value)) continue;
    if (auto code = RefusedCharacterInUtf8(value.toStdString()))
      throw EVestraError(path.toStdString() + ", строка " + std::to_string(number) + ": " +
                         RefusedReason(*code));
    if (name == "OPTIONS") options = value;
    for (const TKey& key : kKeys)
      if (name == key.Name) config.*key.Field = value;
  }
  if (config.Template.isEmpty() || config.Units.isEmpty())
    throw EVestraError("В конфигурации станции " + path.toStdString() +
                       " нет TEMPLATE= или UNITS=");
  config.Options = options.split(' ', Qt::SkipEmptyParts);
  return config;
}

void TStationConfig::SetSupervisor(const QString& path, const QString& hash) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw EVestraError("Не удалось открыть конфигурацию станции " + path.toStdString());
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  file.close();
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  const QString set = QString(kSupervisor) + "=" + hash;
  bool replaced = false;
  for (QString& line : lines) {
    QString name, value;
    if (SplitLine(line, name, value) && name == kSupervisor) {
      line = set;
      replaced = true;
    }
  }
  if (!replaced) {
    lines << ""
          << "# The supervisor's password (vestra-station --set-password), as a salted hash."
          << set;
  }
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write((lines.join('\n') + '\n').toUtf8()) < 0 ||
      !out.commit())
    throw EVestraError("Не удалось записать конфигурацию станции " + path.toStdString() + ": " +
                       out.errorString().toStdString());
}

QString TStationConfig::Folder() const { return QFileInfo(Path).absolutePath(); }

QStringList TStationConfig::Arguments() const {
  QStringList arguments = {"provision", Template, "--units", Units};
  arguments << Options;
  if (!Options.contains("--json")) arguments << "--json";
  return arguments;
}

QString TStationConfig::Option(const QString& name) const {
  for (qsizetype i = 0; i < Options.size(); ++i) {
    if (Options[i] == name && i + 1 < Options.size()) return Options[i + 1];
    if (Options[i].startsWith(name + "=")) return Options[i].mid(name.size() + 1);
  }
  return {};
}

QString TStationConfig::Db() const {
  const QString db = Option("--db");
  if (db.isEmpty()) return TStationStore::DefaultFile();
  if (TStationStore::IsPostgres(db)) return db;
  return QDir(Folder()).absoluteFilePath(db);
}
