#include "form/LogFile.h"

#include <QStringList>

QByteArray LogFileBytes(const QString& log, TLineEnds ends) {
  const bool windows = ends == TLineEnds::CrLfWithBom;
  QByteArray bytes = windows ? QByteArray("\xEF\xBB\xBF") : QByteArray();
  if (log.isEmpty()) return bytes;
  const QByteArray end = windows ? "\r\n" : "\n";
  for (const QString& line : log.split('\n')) bytes += line.toUtf8() + end;
  return bytes;
}
