#include "form/Settings.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <optional>

#include "form/FmMain.h"

namespace {

const char* const kOrganization = "Mirotan";
const char* const kApplication = "TindraSetup";
const char* const kPortIndex = "CBPort.ItemIndex";
const char* const kManualCorrCoef = "CBManualCorrCoef.Checked";
const char* const kSetTime = "CBSetTime.Checked";
const char* const kVerify = "CBVerify.Checked";
const char* const kPosition = "WindowPosition";

// A stored value that does not read as the expected type is ignored, not guessed at.
std::optional<int> StoredInteger(const QSettings& store, const char* key) {
  const QVariant value = store.value(key);
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const int number = value.toString().trimmed().toInt(&ok);
  return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<bool> StoredBoolean(const QSettings& store, const char* key) {
  const QVariant value = store.value(key);
  if (!value.isValid()) return std::nullopt;
  const QString text = value.toString().trimmed().toLower();
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return std::nullopt;
}

// A port that the simulated unit registered names it ("Simulated/<name>" = its process id). A
// unit that was killed could not take its entry back, and the number of its pseudo-terminal may
// by now be someone's shell: the entry of a unit that no longer runs is not used.
bool SimulatedUnitGone(const QSettings& store, const QString& portName) {
  const QString pid = store.value("Simulated/" + portName).toString();
  if (pid.isEmpty()) return false;
  QFile name("/proc/" + pid + "/comm");
  return !name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != "vestra-sim";
}

}  // namespace

std::string StoredPortDevice(const std::string& portName) {
  QSettings store(kOrganization, kApplication);
  store.sync();
  if (!portName.empty()) {
    const QString name = QString::fromStdString(portName);
    const QString path = store.value("Ports/" + name).toString();
    if (!path.isEmpty() && !SimulatedUnitGone(store, name)) return path.toStdString();
  }
  return DefaultDevicePath(portName);
}

std::string SettingsFileName() {
  return QSettings(kOrganization, kApplication).fileName().toStdString();
}

void TFmMain::RestoreStoredProperties() {
  try {
    QSettings store(kOrganization, kApplication);
    store.sync();
    if (auto index = StoredInteger(store, kPortIndex)) CBPort->SetItemIndex(*index);
    if (auto checked = StoredBoolean(store, kManualCorrCoef))
      CBManualCorrCoef->SetChecked(*checked);
    if (auto checked = StoredBoolean(store, kSetTime)) CBSetTime->SetChecked(*checked);
    if (auto checked = StoredBoolean(store, kVerify)) CBVerify->setChecked(*checked);
  } catch (...) {
    // A damaged store must not keep the window from opening.
  }
}

void TFmMain::StoreStoredProperties() {
  if (SettingsUse == TSettingsUse::ReadOnly) return;
  QSettings store(kOrganization, kApplication);
  store.setValue(kPortIndex, CBPort->ItemIndex());
  store.setValue(kManualCorrCoef, CBManualCorrCoef->Checked());
  store.setValue(kSetTime, CBSetTime->Checked());
  store.setValue(kVerify, CBVerify->isChecked());
  store.sync();
}

void TFmMain::StoreWindowPosition() {
  if (SettingsUse == TSettingsUse::ReadOnly) return;
  QSettings store(kOrganization, kApplication);
  store.setValue(kPosition, pos());
  store.sync();
}

void TFmMain::RestoreWindowPosition() {
  QSettings store(kOrganization, kApplication);
  store.sync();
  const QVariant stored = store.value(kPosition);
  if (stored.canConvert<QPoint>() && stored.typeId() == QMetaType::QPoint) {
    const QRect placed(stored.toPoint(), frameGeometry().size());
    // A position from another screen layout could leave the window out of reach.
    for (const QScreen* screen : QGuiApplication::screens()) {
      if (screen->availableGeometry().intersects(placed)) {
        move(placed.topLeft());
        return;
      }
    }
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect centred = frameGeometry();
    centred.moveCenter(screen->availableGeometry().center());
    move(centred.topLeft());
  }
}
