#include "params/StartupFile.h"

#include <QCoreApplication>
#include <QFileInfo>

QString TStartupFile::Name() {
  // Beside the program first: a build folder and a portable copy keep using their own file.
  const QString programFolder = QCoreApplication::applicationDirPath();
  const bool installed = programFolder.startsWith(InstalledPrefix);
  for (const QString& folder : {installed ? QString() : programFolder, SystemFolder}) {
    if (folder.isEmpty()) continue;
    const QString name = folder + "/Vestra.ini";
    if (QFileInfo(name).isFile()) return name;
  }
  return {};
}
