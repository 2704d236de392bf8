// The main window: start-up, the stored settings, the menu and actions, the person's dialogs and
// the frame that device operations run in.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "link/VestraError.h"
#include "tests/support/WindowTest.h"

namespace {

// Runs `check` on the next modal box the code under test opens, then closes it with `answer`.
void OnNextBox(QMessageBox::StandardButton answer, std::function<void(QMessageBox*)> check) {
  QTimer::singleShot(0, [answer, check] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    check(box);
    box->button(answer)->click();
  });
}

}  // namespace

TEST_F(TWindowTest, FirstStartWithoutStoredSettings) {
  auto window = NewWindow();
  EXPECT_EQ(window->windowTitle(), "Конфигуратор Вестра ver 2.02");
  EXPECT_EQ(window->CBPort->ItemIndex(), -1);
  EXPECT_FALSE(window->CBManualCorrCoef->Checked());
  EXPECT_TRUE(window->CBSetTime->Checked());
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(window->PGRight->currentWidget(), window->TSUser);
  EXPECT_EQ(window->PGSIM->currentWidget(), window->TSExtSIM);
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 2);
  EXPECT_FALSE(window->SECorrCoef->isEnabled());
  EXPECT_FALSE(window->MonitorOn());
  EXPECT_EQ(window->Link.PortHandle, -1);
  EXPECT_EQ(window->Link.RxCount, 0);
  EXPECT_EQ(window->LbVersion->text(), "");
  EXPECT_TRUE(window->MmLog->toPlainText().isEmpty());
  EXPECT_EQ(window->StartupFileName(), "") << "no start-up file anywhere";
}

TEST_F(TWindowTest, WindowKeepsItsFixedSizeAndLayout) {
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(window->centralWidget()->size(), QSize(778, 703));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->PnLeft->width(), 314);
  EXPECT_EQ(window->PGRight->width(), 464);
  EXPECT_EQ(window->PnLeft->height(), 703);
  for (QPushButton* button : {window->BtWrite, window->BtRead, window->SBGPS})
    EXPECT_EQ(button->size(), QSize(89, 25));
  EXPECT_TRUE(window->SBGPS->isCheckable());
  EXPECT_TRUE(window->LbVersion->font().bold());
  EXPECT_TRUE(window->LbVersion->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(QFontInfo(window->MmLog->font()).fixedPitch());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(TWindowTest, SettingsSurviveARestartAndTheCloseBoxStoresLikeOk) {
  {
    auto window = NewWindow();
    window->show();
    QTimer::singleShot(0, window.get(), [&] {
      window->CBPort->SetItemIndex(4);
      window->CBSetTime->SetChecked(false);
      window->SFOptions->close();  // the close box, not "OK"
    });
    window->ActOptionExecute();
    QSettings store("Mirotan", "TindraSetup");
    EXPECT_EQ(store.value("CBPort.ItemIndex").toInt(), 4);
    window->move(40, 30);
    window->close();
  }
  auto window = NewWindow();
  EXPECT_EQ(window->CBPort->ItemIndex(), 4);
  EXPECT_EQ(window->CBPort->SelectedText(), "COM5");
  EXPECT_FALSE(window->CBSetTime->Checked());
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(window->pos(), QPoint(40, 30));
}

TEST_F(TWindowTest, DamagedOrStrayStoredValuesAreIgnored) {
  {
    QSettings store("Mirotan", "TindraSetup");
    store.setValue("CBPort.ItemIndex", "COM3");
    store.setValue("CBManualCorrCoef.Checked", "perhaps");
    store.setValue("CBSetTime.Checked", "false");
    store.setValue("WindowPosition", QPoint(20000, 20000));
  }
  auto window = NewWindow();
  EXPECT_EQ(window->CBPort->ItemIndex(), -1);
  EXPECT_FALSE(window->CBManualCorrCoef->Checked());
  EXPECT_FALSE(window->CBSetTime->Checked());
  window->show();
  QApplication::processEvents();
  // A position on no screen would hide the window: it opens centred instead.
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 2);
  {
    QSettings store("Mirotan", "TindraSetup");
    store.setValue("CBPort.ItemIndex", 30);
  }
  auto again = NewWindow();
  EXPECT_EQ(again->CBPort->ItemIndex(), -1);
}

TEST_F(TWindowTest, PortDevicesComeFromTheStoreAsItIsNow) {
  auto window = NewWindow();
  EXPECT_EQ(window->Link.Resolver("COM3"), DefaultDevicePath("COM3"));
  // Another program (the simulated unit) rewrites the store while the window runs. On Windows
  // the store is the registry, which every program sees as it is now.
  const QString file = QSettings("Mirotan", "TindraSetup").fileName();
  if (file.startsWith("\\HKEY_")) {
    MapPort("COM3", "/dev/pts/77");
  } else {
    QFile store(file);
    ASSERT_TRUE(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
    store.write("[Ports]\nCOM3=/dev/pts/77\n");
  }
  EXPECT_EQ(window->Link.Resolver("COM3"), "/dev/pts/77");
  EXPECT_EQ(window->Link.Resolver("COM4"), DefaultDevicePath("COM4"));
}

TEST_F(TWindowTest, MenuItemsAndActionsCarryTheirNamesCaptionsAndKeys) {
  auto window = NewWindow();
  // The caption's words, its access key after the "&", and the shortcut.
  const std::tuple<const char*, const char*, QKeySequence> actions[] = {
      {"ActRead", "&Прочитать", Qt::Key_F5},
      {"ActWrite", "&Записать", Qt::Key_F9},
      {"ActLoad", "&Загрузить параметры...", QKeySequence::Open},
      {"ActSave", "&Сохранить параметры...", QKeySequence::Save},
      {"ActOption", "&Опции...", {}},
      {"ActCorrCoef", "&Калибровка...", {}},
      {"ActVersion", "Считать &версию...", {}},
      {"ActLEDInvers", "&Инвертировать красный-зеленый...", {}}};
  for (const auto& [name, caption, shortcut] : actions) {
    auto* action = window->FindControlAs<QAction>(name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text(), QString(caption));
    EXPECT_EQ(action->shortcut(), shortcut) << name;
    EXPECT_TRUE(action->isEnabled());
  }
  EXPECT_EQ(window->FindControlAs<QAction>("ActLoad")->shortcut().toString(), "Ctrl+O");
  EXPECT_EQ(window->FindControlAs<QAction>("ActSave")->shortcut().toString(), "Ctrl+S");
  // A button shows the words only: its own access key would take Alt and a letter from the menu.
  EXPECT_EQ(window->BtRead->text(), "Прочитать");
  EXPECT_EQ(window->BtWrite->text(), "Записать");
  EXPECT_EQ(window->BtCorrCoef->text(), "Калибровка...");
  EXPECT_EQ(window->SBGPS->text(), "Прием");

  auto* bar = window->FindControlAs<QMenuBar>("MainMenu");
  ASSERT_NE(bar, nullptr);
  auto entries = [](QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
      out << a->objectName() + ":" + (a->isSeparator() ? "-" : a->text());
    return out;
  };
  auto* file = window->FindControlAs<QMenu>("N3");
  auto* unit = window->FindControlAs<QMenu>("N2");
  ASSERT_TRUE(file && unit);
  EXPECT_EQ(bar->actions().size(), 3);  // "Сервис" follows
  EXPECT_EQ(file->title(), "&Файл");
  EXPECT_EQ(unit->title(), "&Вестра");
  EXPECT_EQ(entries(file), QStringList({"N4:&Загрузить параметры...", "N5:&Сохранить параметры...",
                                        "N6:&Опции...", "N7:-", "N1:В&ыход"}));
  EXPECT_EQ(entries(unit),
            QStringList({"N8:&Прочитать", "N9:&Записать", "N11:Считать &версию...", "N13:-",
                         "N10:&Калибровка...", "N12:&Инвертировать красный-зеленый..."}));
  const std::pair<const char*, QAction*> shown[] = {{"N4", window->ActLoad},
                                                    {"N5", window->ActSave},
                                                    {"N8", window->ActRead},
                                                    {"N9", window->ActWrite},
                                                    {"N11", window->ActVersion}};
  for (auto [item, action] : shown)
    EXPECT_EQ(window->FindControlAs<QAction>(item)->shortcut(), action->shortcut()) << item;

  // A menu item runs its action.
  int runs = 0;
  QObject::connect(window->ActOption, &QAction::triggered, [&] { ++runs; });
  QObject::disconnect(window->ActOption, &QAction::triggered, window.get(), nullptr);
  window->FindControlAs<QAction>("N6")->trigger();
  EXPECT_EQ(runs, 1);
}

TEST_F(TWindowTest, KeysRunTheActionsAndAltOpensTheMenus) {
  auto window = NewWindow();
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  const std::pair<QKeyCombination, QAction*> keys[] = {{Qt::Key_F5, window->ActRead},
                                                       {Qt::Key_F9, window->ActWrite},
                                                       {Qt::CTRL | Qt::Key_O, window->ActLoad},
                                                       {Qt::CTRL | Qt::Key_S, window->ActSave}};
  for (auto [key, action] : keys) {
    QObject::disconnect(action, &QAction::triggered, window.get(), nullptr);  // not the unit
    int runs = 0;
    QObject::connect(action, &QAction::triggered, [&] { ++runs; });
    QTest::keyClick(window->SECloseDelay, key.key(), key.keyboardModifiers());
    EXPECT_EQ(runs, 1) << QKeySequence(key).toString().toStdString();
  }
  // Alt with the underlined letter of a menu's title opens that menu.
  for (const char* name : {"N3", "N2", "N14"}) {
    auto* menu = window->FindControlAs<QMenu>(name);
    const QKeyCombination mnemonic = QKeySequence::mnemonic(menu->title())[0];
    ASSERT_EQ(mnemonic.keyboardModifiers(), Qt::AltModifier) << name;
    // Not an ASCII key: the event carries its letter itself.
    QTest::sendKeyEvent(QTest::Click, window.get(), mnemonic.key(),
                        QString(QChar(mnemonic.key())).toLower(), Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == menu; })) << name;
    menu->close();
  }
}

TEST_F(TWindowTest, FindControlTakesTheExactNameAndChecksTheKind) {
  auto window = NewWindow();
  EXPECT_EQ(window->FindControl("EdServer2"), window->EdServer2);
  EXPECT_EQ(window->FindControlAs<TEdit>("EdPhone3"), window->EdPhone3);
  EXPECT_EQ(window->FindControl("edserver2"), nullptr);
  EXPECT_EQ(window->FindControl("EdServer4"), nullptr);
  EXPECT_EQ(window->FindControl("CBPhone4"), nullptr);
  EXPECT_EQ(window->FindControlAs<TEdit>("CBServer1"), nullptr);
  EXPECT_EQ(window->FindControlAs<TCheckBox>("CBServer1"), window->CBServer1);
  EXPECT_EQ(window->FindControlAs<TComboBox>("CBServer1"), nullptr);
  // Something added later under a name already taken is not what the name finds.
  auto* stray = new TEdit(ControlTable()[ControlIndex("EdPhone1")], window->TSPhone1);
  stray->setParent(window.get());
  EXPECT_EQ(window->FindControl("EdPhone1"), window->EdPhone1);
}

TEST_F(TWindowTest, WindowsOwnPersonUsesTheWindowsDialogsAndPanes) {
  auto window = std::make_unique<TFmMain>();
  window->show();
  TPerson* person = window->Person;
  person->Log("#V\r");
  person->Log("$\xC2\xE5\xF0\xF1\xE8\xFF 2.10\r");  // Windows-1251 "Версия"
  EXPECT_EQ(window->MmLog->toPlainText(), "#V\n$Версия 2.10");
  person->SetVersionCaption("Версия 2.10");
  EXPECT_EQ(window->LbVersion->text(), "Версия 2.10");

  OnNextBox(QMessageBox::No, [](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Предупреждение");
    EXPECT_EQ(box->text(), "Продолжить?");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    // Qt's own texts speak Russian, as the rest of the program does.
    EXPECT_EQ(box->button(QMessageBox::Yes)->text().remove('&'), "Да");
    EXPECT_EQ(box->button(QMessageBox::No)->text().remove('&'), "Нет");
  });
  EXPECT_FALSE(person->Ask("Продолжить?", "Предупреждение", TPerson::TIcon::Question));
  OnNextBox(QMessageBox::Yes, [](QMessageBox*) {});
  EXPECT_TRUE(person->Ask("Продолжить?", "Ошибка", TPerson::TIcon::Stop));
  OnNextBox(QMessageBox::Ok, [](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Вестра");
    EXPECT_EQ(box->icon(), QMessageBox::Information);
  });
  person->Tell("Готово", "Вестра", TPerson::TIcon::Information);

  person->ShowWait("Читаю версию...");
  EXPECT_TRUE(window->SFWait->isVisible());
  EXPECT_EQ(window->STWait->text(), "Читаю версию...");
  person->ShowWait("Проверяю порт COM2...");
  EXPECT_EQ(window->STWait->text(), "Проверяю порт COM2...");
  person->HideWait();
  EXPECT_FALSE(window->SFWait->isVisible());
  person->HideWait();
  EXPECT_FALSE(window->SFWait->isVisible());
}

TEST_F(TWindowTest, WaitPanelCannotBeClosedByTheUser) {
  auto window = std::make_unique<TFmMain>();
  window->show();
  window->Person->ShowWait("Выполнение команды...");
  EXPECT_EQ(window->SFWait->windowTitle(), "Выполнение операции");
  EXPECT_TRUE(window->SFWait->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(window->SFWait->windowFlags() & Qt::WindowCloseButtonHint);
  window->SFWait->close();
  EXPECT_TRUE(window->SFWait->isVisible());
  window->Person->HideWait();
}

TEST_F(TWindowTest, FailuresAreShownAsErrorsAfterPortAndPanelAreDealtWith) {
  auto window = NewWindow();
  bool cleanedUp = false;
  Person.ShowWait("Выполнение команды...");
  EXPECT_FALSE(window->Guarded([] { throw EVestraError("Нет ответа"); },
                               [&] {
                                 cleanedUp = true;
                                 EXPECT_FALSE(Person.WaitShown);
                               }));
  EXPECT_TRUE(cleanedUp);
  ASSERT_EQ(Person.Boxes.size(), 1u);
  EXPECT_EQ(Person.Boxes[0].Text, "Нет ответа");
  EXPECT_EQ(Person.Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(Person.Boxes[0].Icon, TPerson::TIcon::Stop);
  EXPECT_FALSE(Person.Boxes[0].Question);

  EXPECT_FALSE(window->Guarded([] { throw EVestraError(""); }));
  EXPECT_FALSE(window->Guarded([] { throw 42; }));
  ASSERT_EQ(Person.Boxes.size(), 3u);
  EXPECT_EQ(Person.Boxes[1].Text, "Неизвестная ошибка");
  EXPECT_EQ(Person.Boxes[2].Text, "Неизвестная ошибка");

  EXPECT_TRUE(window->Guarded([] {}));
  EXPECT_EQ(Person.Boxes.size(), 3u);
}

TEST_F(TWindowTest, OperationWithNoPortSelectedFailsWithTheOpenText) {
  auto window = NewWindow();
  bool ran = false;
  EXPECT_FALSE(window->RunOperation("Чтение параметров Вестра...", [&] { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(Person.WaitTexts, std::vector<std::string>({"Чтение параметров Вестра..."}));
  EXPECT_FALSE(Person.WaitShown);
  ASSERT_EQ(Person.Boxes.size(), 1u);
  EXPECT_EQ(Person.Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(Person.Boxes[0].Text, window->Link.OpenPort(""));
  EXPECT_EQ(window->Link.PortHandle, -1);
}
