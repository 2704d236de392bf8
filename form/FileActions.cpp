// The menu actions "Сохранить параметры..." and "Загрузить параметры...".
#include <QFileDialog>
#include <exception>
#include <string>

#include "form/FmMain.h"
#include "params/ParamFile.h"

namespace {

// The chosen file, or the empty text when the person cancelled. The dialog itself starts in
// the folder and with the name chosen last.
QString ChooseFile(QFileDialog* dialog) {
  if (dialog->exec() != QDialog::Accepted) return {};
  return dialog->selectedFiles().value(0);
}

}  // namespace

void TFmMain::ActSaveExecute() {
  try {
    if (!GatherParameters()) return;
    QString fileName = ChooseFile(SaveDialog);
    if (fileName.isEmpty()) return;
    WriteParamFile(fileName, ParamList.Lines());
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError({});
  }
}

void TFmMain::ActLoadExecute() {
  QString fileName = ChooseFile(OpenDialog);
  if (!fileName.isEmpty()) ApplyParameters(fileName);
}
