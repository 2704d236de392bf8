// The dialogs for parameter files. Each starts where the last file chosen in it lay, with that
// name; the first time, with "Vestra.ini" in the home folder.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QShowEvent>

#include "form/FmMain.h"

namespace {

const QStringList kFilters = {"Файлы параметров (*.ini)", "Все файлы (*.*)"};

class TParameterFileDialog : public QFileDialog {
 public:
  TParameterFileDialog(QWidget* owner, const QString& name, const QString& title, bool save)
      : QFileDialog(owner, title), LastFolder(QDir::homePath()), LastName("Vestra.ini") {
    setObjectName(name);
    // Qt's own dialog: the same everywhere, and tests can drive it.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ReadOnly, false);
    setNameFilters(kFilters);
    setSizeGripEnabled(true);
    if (save) {
      setAcceptMode(QFileDialog::AcceptSave);
      setFileMode(QFileDialog::AnyFile);
      setDefaultSuffix("ini");
    } else {
      setAcceptMode(QFileDialog::AcceptOpen);
      setFileMode(QFileDialog::ExistingFile);
    }
    // "*.*" means every file to the person who reads it; Qt would take it as names with a dot.
    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
      auto* files = findChild<QFileSystemModel*>();
      if (filter == kFilters.last() && files) files->setNameFilters({"*"});
    });
    // Choosing a filter gives the typed name the filter's extension ("Vestra.*" for all files).
    // The name stays as typed; saving adds "ini" only to a name without an extension.
    auto* types = findChild<QComboBox*>("fileTypeCombo");
    auto* typed = findChild<QLineEdit*>("fileNameEdit");
    if (types && typed) {
      connect(types, &QComboBox::currentIndexChanged, this,
              [this, typed] { NameBeforeFilter = typed->text(); });
      connect(this, &QFileDialog::filterSelected, typed,
              [this, typed] { typed->setText(NameBeforeFilter); });
    }
    connect(this, &QDialog::accepted, this, [this] {
      const QStringList chosen = selectedFiles();
      if (chosen.isEmpty()) return;
      const QFileInfo file(chosen.first());
      LastFolder = file.absolutePath();
      LastName = file.fileName();
    });
  }

 protected:
  // Enter typed while the name field's completion list shows reaches the field through the
  // list, and the dialog closes without the list: Qt leaves it open as the active popup with
  // the mouse grabbed, so the next click on the main window would only close it. Without a
  // window manager nothing else closes it first.
  void done(int result) override {
    for (QCompleter* completer : findChildren<QCompleter*>())
      if (completer->popup()->isVisible()) completer->popup()->hide();
    QFileDialog::done(result);
  }

  void showEvent(QShowEvent* event) override {
    if (!event->spontaneous()) {
      selectNameFilter(kFilters.first());
      setDirectory(LastFolder);
      selectFile(LastName);
    }
    QFileDialog::showEvent(event);
  }

 private:
  QString LastFolder;
  QString LastName;
  QString NameBeforeFilter;
};

}  // namespace

void TFmMain::CreateFileDialogs() {
  SaveDialog = Named(new TParameterFileDialog(this, "SaveDialog", "Сохранить параметры", true));
  OpenDialog = Named(new TParameterFileDialog(this, "OpenDialog", "Загрузить параметры", false));
}
