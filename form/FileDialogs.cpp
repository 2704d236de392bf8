// The file dialogs of the window: parameter files and the exchange log. Each starts where the
// last file chosen in it lay, in this run or an earlier one (the first time in the Documents
// folder); a parameter file dialog also with the name chosen last in this run (at first
// "Vestra.ini"), the log dialog with a fresh name of the moment.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QShowEvent>

#include "form/FmMain.h"

namespace {

struct TDialogKind {
  const char* Name;
  const char* Title;
  QStringList Filters;  // the first is selected whenever the dialog opens
  bool Save;
  const char* Suffix;  // added to a name typed without one; empty: none
  bool NameOfTheMoment;
};

const TDialogKind kSave{"SaveDialog",
                        "Сохранить параметры",
                        {"Файлы параметров (*.ini)", "Все файлы (*.*)"},
                        true,
                        "ini",
                        false};
const TDialogKind kOpen{
    "OpenDialog", "Загрузить параметры", {"Файлы параметров (*.ini)", "Все файлы (*.*)"}, false, "",
    false};
const TDialogKind kLog{
    "LogDialog", "Сохранить журнал", {"Журналы (*.log)", "Все файлы (*.*)"}, true, "log", true};

class TFileDialog : public QFileDialog {
 public:
  TFileDialog(TFmMain& owner, const TDialogKind& kind)
      : QFileDialog(&owner, kind.Title),
        Kind(kind),
        LastFolder(owner.StartFolder(kind.Name)),
        LastName("Vestra.ini") {
    setObjectName(kind.Name);
    // Qt's own dialog: the same everywhere, and tests can drive it.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ReadOnly, false);
    setNameFilters(kind.Filters);
    setSizeGripEnabled(true);
    if (kind.Save) {
      setAcceptMode(QFileDialog::AcceptSave);
      setFileMode(QFileDialog::AnyFile);
      setDefaultSuffix(kind.Suffix);
    } else {
      setAcceptMode(QFileDialog::AcceptOpen);
      setFileMode(QFileDialog::ExistingFile);
    }
    // "*.*" means every file to the person who reads it; Qt would take it as names with a dot.
    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
      auto* files = findChild<QFileSystemModel*>();
      if (filter == Kind.Filters.last() && files) files->setNameFilters({"*"});
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
    connect(this, &QDialog::accepted, this, [this, &owner] {
      const QStringList chosen = selectedFiles();
      if (chosen.isEmpty()) return;
      const QFileInfo file(chosen.first());
      LastFolder = file.absolutePath();
      LastName = file.fileName();
      owner.StoreChosenFolder(Kind.Name, LastFolder);
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
      selectNameFilter(Kind.Filters.first());
      setDirectory(LastFolder);
      // A log is kept per occasion: a new name each time, so that none is overwritten by habit.
      selectFile(Kind.NameOfTheMoment
                     ? "Vestra-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmmss") +
                           ".log"
                     : LastName);
    }
    QFileDialog::showEvent(event);
  }

 private:
  const TDialogKind& Kind;
  QString LastFolder;
  QString LastName;
  QString NameBeforeFilter;
};

}  // namespace

void TFmMain::CreateFileDialogs() {
  SaveDialog = Named(new TFileDialog(*this, kSave));
  OpenDialog = Named(new TFileDialog(*this, kOpen));
  LogDialog = Named(new TFileDialog(*this, kLog));
}
