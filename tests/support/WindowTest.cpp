#include "tests/support/WindowTest.h"

#include <QSettings>
#include <QString>

void ClearSettingsStore() {
  QSettings store("Mirotan", "TindraSetup");
  store.clear();
  store.sync();
}

void MapPort(const std::string& port, const std::string& path) {
  QSettings store("Mirotan", "TindraSetup");
  store.setValue(QString::fromStdString("Ports/" + port), QString::fromStdString(path));
  store.sync();
}

void SelectPort(TFmMain& window, const std::string& port) {
  window.CBPort->SetItemIndex(window.CBPort->findText(QString::fromStdString(port)));
}
