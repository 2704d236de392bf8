// The dialogs for parameter files and the log: titles, filters, start name and folder, the last
// choice remembered, and the bytes of a saved log.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "form/LogFile.h"
#include "tests/support/WindowTest.h"

namespace {

struct TSeen {
  QString Title, Filter, Suffix, Folder;
  QStringList Filters, Files;
  bool ConfirmsOverwrite = false;
  QFileDialog::FileMode Mode = QFileDialog::AnyFile;
};

// Opens `dialog` as an operation would (or runs `operation`, which opens it), records how it
// opened, then chooses `file` (or cancels when `file` is empty).
TSeen OpenAndChoose(QFileDialog* dialog, const QString& file,
                    const std::function<void()>& operation = {}) {
  TSeen seen;
  QTimer::singleShot(0, dialog, [&] {
    seen.Title = dialog->windowTitle();
    seen.Filters = dialog->nameFilters();
    seen.Filter = dialog->selectedNameFilter();
    seen.Suffix = dialog->defaultSuffix();
    seen.Folder = dialog->directory().absolutePath();
    seen.Files = dialog->selectedFiles();
    seen.ConfirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    seen.Mode = dialog->fileMode();
    dialog->selectNameFilter(dialog->nameFilters().last());  // the next opening resets it
    if (file.isEmpty()) {
      dialog->reject();
    } else {
      dialog->selectFile(file);
      static_cast<QDialog*>(dialog)->accept();  // as the "Save"/"Open" button does
    }
  });
  if (operation)
    operation();
  else
    dialog->exec();
  return seen;
}

// The user's Documents folder, made where the system names it.
QString Documents() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QDir().mkpath(folder);
  return QDir(folder).absolutePath();
}

}  // namespace

TEST_F(TWindowTest, SaveDialogOpensWithItsTitleFilterAndNameAndRemembersTheChoice) {
  const QString documents = Documents();
  auto window = NewWindow();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  TSeen first = OpenAndChoose(window->SaveDialog, folder.filePath("unit7"));
  EXPECT_EQ(first.Title, "Сохранить параметры");
  EXPECT_EQ(first.Filters, QStringList({"Файлы параметров (*.ini)", "Все файлы (*.*)"}));
  EXPECT_EQ(first.Filter, "Файлы параметров (*.ini)");
  EXPECT_EQ(first.Suffix, "ini");
  EXPECT_TRUE(first.ConfirmsOverwrite);
  EXPECT_EQ(first.Folder, documents);
  ASSERT_EQ(first.Files.size(), 1);
  EXPECT_TRUE(first.Files[0].endsWith("/Vestra.ini"));
  EXPECT_EQ(window->SaveDialog->selectedFiles().value(0), folder.filePath("unit7.ini"));

  TSeen second = OpenAndChoose(window->SaveDialog, {});
  EXPECT_EQ(second.Folder, QDir(folder.path()).absolutePath());
  EXPECT_EQ(second.Files.value(0), folder.filePath("unit7.ini"));
  EXPECT_EQ(second.Filter, "Файлы параметров (*.ini)");

  // The other dialog keeps its own last choice.
  TSeen open = OpenAndChoose(window->OpenDialog, {});
  EXPECT_EQ(open.Title, "Загрузить параметры");
  EXPECT_EQ(open.Mode, QFileDialog::ExistingFile);
  EXPECT_EQ(open.Suffix, "");
  EXPECT_EQ(open.Folder, documents);
  EXPECT_TRUE(open.Files.value(0).endsWith("/Vestra.ini"));
}

TEST_F(TWindowTest, EachDialogOpensInItsLastFolderAfterARestart) {
  const QString documents = Documents();
  QTemporaryDir units, logs;
  ASSERT_TRUE(units.isValid() && logs.isValid());
  {
    auto window = NewWindow();
    OpenAndChoose(window->SaveDialog, units.filePath("unit7.ini"));
    window->MmLog->setPlainText("#V");
    OpenAndChoose(window->LogDialog, logs.filePath("unit7.log"),
                  [&] { window->ActSaveLogExecute(); });
  }
  {
    auto window = NewWindow();
    EXPECT_EQ(OpenAndChoose(window->SaveDialog, {}).Folder, QDir(units.path()).absolutePath());
    EXPECT_EQ(OpenAndChoose(window->LogDialog, {}).Folder, QDir(logs.path()).absolutePath());
    EXPECT_EQ(OpenAndChoose(window->OpenDialog, {}).Folder, documents);
  }
  // A folder since gone (Windows removes none that a dialog still watches): Documents again.
  ASSERT_TRUE(units.remove());
  EXPECT_EQ(OpenAndChoose(NewWindow()->SaveDialog, {}).Folder, documents);
}

TEST_F(TWindowTest, AllFilesEntryShowsFilesWithoutAnExtensionToo) {
  auto window = NewWindow();
  QFileDialog* dialog = window->OpenDialog;
  QStringList filtersAfterChoice;
  QTimer::singleShot(0, dialog, [&] {
    auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    QTest::keyClick(types, Qt::Key_Down);  // the person picks "Все файлы (*.*)"
    EXPECT_EQ(types->currentIndex(), 1);
    filtersAfterChoice = dialog->findChild<QFileSystemModel*>()->nameFilters();
    dialog->reject();
  });
  dialog->exec();
  EXPECT_EQ(filtersAfterChoice, QStringList({"*"}));
}

TEST_F(TWindowTest, EnterWhileTheNameCompletionShowsLeavesNoListOpenAfterTheDialog) {
  // Keys go to the open completion list, as Qt routes them while a popup is up; a list left
  // open after the dialog would take the next click on the window for itself.
  auto window = NewWindow();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* name : {"unit1.ini", "unit2.ini"}) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QFileDialog* dialog = window->OpenDialog;
  bool listShown = false;
  QTimer::singleShot(0, dialog, [&] {
    dialog->setDirectory(folder.path());
    auto* files = dialog->findChild<QFileSystemModel*>();
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (files && name &&
        QTest::qWaitFor([&] { return files->rowCount(files->index(folder.path())) == 2; })) {
      QApplication::setActiveWindow(dialog);
      name->setFocus();
      name->clear();
      QTest::keyClicks(name, "unit");
      listShown = QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; });
    }
    if (!listShown) return dialog->reject();
    QTest::keyClicks(QApplication::activePopupWidget(), "1.ini");
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
  });
  const int result = dialog->exec();
  ASSERT_TRUE(listShown);
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(dialog->selectedFiles().value(0), folder.filePath("unit1.ini"));
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(TWindowTest, LogIsSavedInUtf8UnderANameOfTheMoment) {
  auto window = NewWindow();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  window->MmLog->setPlainText("#V\n#V 3.00\nПроверено: 43 параметров совпадают");

  TSeen seen = OpenAndChoose(window->LogDialog, folder.filePath("unit7"),
                             [&] { window->ActSaveLogExecute(); });

  EXPECT_EQ(seen.Title, "Сохранить журнал");
  EXPECT_EQ(seen.Filters, QStringList({"Журналы (*.log)", "Все файлы (*.*)"}));
  EXPECT_EQ(seen.Filter, "Журналы (*.log)");
  EXPECT_EQ(seen.Suffix, "log");
  EXPECT_TRUE(seen.ConfirmsOverwrite);
  ASSERT_EQ(seen.Files.size(), 1);
  EXPECT_TRUE(QRegularExpression("/Vestra-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.log$")
                  .match(seen.Files[0])
                  .hasMatch())
      << seen.Files[0].toStdString();
  QFile saved(folder.filePath("unit7.log"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), LogFileBytes(window->MmLog->toPlainText(), kSystemLineEnds));
}

TEST(LogFileBytes, EveryLineEndedAsTheSystemsNotepadWantsIt) {
  const QString log = "#V\n#V 3.00\nПроверено";
  const QByteArray lines = QString("Проверено").toUtf8();
  const struct {
    QString Log;
    TLineEnds Ends;
    QByteArray Bytes;
  } cases[] = {
      {log, TLineEnds::Lf, "#V\n#V 3.00\n" + lines + "\n"},
      {log, TLineEnds::CrLfWithBom, "\xEF\xBB\xBF#V\r\n#V 3.00\r\n" + lines + "\r\n"},
      {"", TLineEnds::Lf, ""},
      {"", TLineEnds::CrLfWithBom, "\xEF\xBB\xBF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LogFileBytes(c.Log, c.Ends), c.Bytes) << c.Bytes.toHex(' ').toStdString();
}
