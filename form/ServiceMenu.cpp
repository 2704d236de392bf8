// The menu "Сервис": comparing the window with the unit, the check after every write, and
// keeping the exchange log in a file.
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "form/FmMain.h"
#include "form/LogFile.h"
#include "params/ParamFile.h"

void TFmMain::CreateServiceMenu() {
  auto action = [this](const char* name, const char* caption) {
    auto* created = Named(new QAction(QString::fromUtf8(caption), ActionList));
    created->setObjectName(name);
    return created;
  };
  ActCompare = action("ActCompare", "&Сравнить с Вестрой...");
  CBVerify = action("CBVerify", "&Проверять после записи");
  CBVerify->setCheckable(true);
  ActSaveLog = action("ActSaveLog", "Сохранить &журнал...");

  auto* menu = Named(new QMenu("&Сервис", MainMenu));
  menu->setObjectName("N14");
  menu->menuAction()->setObjectName("N14");
  MainMenu->addMenu(menu);
  menu->addAction(ActCompare);
  menu->addAction(CBVerify);
  Named(menu->addSeparator())->setObjectName("N15");
  menu->addAction(ActSaveLog);

  connect(ActCompare, &QAction::triggered, this,
          [this] { Handle([this] { ActCompareExecute(); }); });
  connect(ActSaveLog, &QAction::triggered, this,
          [this] { Handle([this] { ActSaveLogExecute(); }); });
  connect(CBVerify, &QAction::toggled, this, [this](bool checked) { VerifyAfterWrite = checked; });
}

void TFmMain::ActSaveLogExecute() {
  if (LogDialog->exec() != QDialog::Accepted) return;
  const QString fileName = LogDialog->selectedFiles().value(0);
  if (fileName.isEmpty()) return;
  const QByteArray text = LogFileBytes(MmLog->toPlainText(), kSystemLineEnds);
  ReplaceFile(fileName, [&text](QIODevice& file) {
    WriteWhole(file, std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  });
}
