#include "service/PortStore.h"

#include <QFile>
#include <QSettings>

#include "link/Link.h"
#include "link/PortCatalogue.h"

namespace {

const char* const kPortIndex = "CBPort.ItemIndex";
const char* const kManualCorrCoef = "CBManualCorrCoef.Checked";
const char* const kSetTime = "CBSetTime.Checked";
const char* const kVerify = "CBVerify.Checked";

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
bool SimulatedUnitGone(const QSettings& store, const std::string& portName) {
  const QString pid =
      store.value(QString::fromStdString(PortCatalogue::SimulatedKey(portName))).toString();
  if (pid.isEmpty()) return false;
  QFile name("/proc/" + pid + "/comm");
  return !name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != "vestra-sim";
}

}  // namespace

std::string StoredPortDevice(const std::string& portName) {
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  store.sync();
  if (!portName.empty()) {
    const QString path =
        store.value(QString::fromStdString(PortCatalogue::DeviceKey(portName))).toString();
    if (!path.isEmpty() && !SimulatedUnitGone(store, portName)) return path.toStdString();
  }
  return DefaultDevicePath(portName);
}

std::string SettingsFileName() {
  return QSettings(PortCatalogue::Organization, PortCatalogue::Application)
      .fileName()
      .toStdString();
}

TStoredOptions ReadStoredOptions() {
  TStoredOptions options;
  try {
    QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
    store.sync();
    options.PortIndex = StoredInteger(store, kPortIndex);
    options.ManualCorrCoef = StoredBoolean(store, kManualCorrCoef);
    options.SetTime = StoredBoolean(store, kSetTime);
    options.Verify = StoredBoolean(store, kVerify);
  } catch (...) {
    // A damaged store must not keep a face from starting.
  }
  return options;
}

void WriteStoredOptions(int portIndex, bool manualCorrCoef, bool setTime, bool verify) {
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  store.setValue(kPortIndex, portIndex);
  store.setValue(kManualCorrCoef, manualCorrCoef);
  store.setValue(kSetTime, setTime);
  store.setValue(kVerify, verify);
  store.sync();
}
