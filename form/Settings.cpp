// The window's own use of the settings store: its position, the options it keeps and the
// folders last chosen in its file dialogs.

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include "form/FmMain.h"
#include "link/PortCatalogue.h"
#include "service/PortStore.h"

namespace {

const char* const kPosition = "WindowPosition";

// Named as the stored properties are: the dialog's name, a point, the property's.
QString FolderKey(const QString& dialogName) { return dialogName + ".Folder"; }

}  // namespace

void TFmMain::RestoreStoredProperties() {
  try {
    const TStoredOptions stored = ReadStoredOptions();
    if (stored.PortIndex) CBPort->SetItemIndex(*stored.PortIndex);
    if (stored.ManualCorrCoef) CBManualCorrCoef->SetChecked(*stored.ManualCorrCoef);
    if (stored.SetTime) CBSetTime->SetChecked(*stored.SetTime);
    if (stored.Verify) CBVerify->setChecked(*stored.Verify);
  } catch (...) {
    // A damaged store must not keep the window from opening.
  }
}

void TFmMain::StoreStoredProperties() {
  if (SettingsUse == TSettingsUse::ReadOnly) return;
  WriteStoredOptions(CBPort->ItemIndex(), CBManualCorrCoef->Checked(), CBSetTime->Checked(),
                     CBVerify->isChecked());
}

void TFmMain::StoreWindowPosition() {
  if (SettingsUse == TSettingsUse::ReadOnly) return;
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  store.setValue(kPosition, pos());
  store.sync();
}

void TFmMain::RestoreWindowPosition() {
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  store.sync();
  const QVariant stored = store.value(kPosition);
  if (stored.canConvert<QPoint>() && stored.typeId() == QMetaType::QPoint) {
    const QRect placed(stored.toPoint(), frameGeometry().size());
    // A position from another screen layout could leave the window out of reach.
    for (const QScreen* screen : QGuiApplication::screens()) {
      if (screen->availableGeometry().intersects(placed)) {
        move(placed.topLeft());
        KeepLoweredWindowInside();
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

QString TFmMain::StartFolder(const QString& dialogName) const {
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  // A folder since gone (a removed stick, a renamed share) would open an empty dialog.
  for (const QString& folder :
       {store.value(FolderKey(dialogName)).toString(),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)})
    if (!folder.isEmpty() && QDir(folder).exists()) return folder;
  return QDir::homePath();
}

void TFmMain::StoreChosenFolder(const QString& dialogName, const QString& folder) {
  if (SettingsUse == TSettingsUse::ReadOnly) return;
  QSettings store(PortCatalogue::Organization, PortCatalogue::Application);
  store.setValue(FolderKey(dialogName), QDir::toNativeSeparators(folder));
}
