// The menu "Сервис": its items, and the option of the check after a write across a restart.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "tests/support/WindowTest.h"

TEST_F(TWindowTest, ServiceMenuFollowsTheUnitMenu) {
  auto window = NewWindow();
  auto* bar = window->FindControlAs<QMenuBar>("MainMenu");
  auto* service = window->FindControlAs<QMenu>("N14");
  ASSERT_TRUE(bar && service);
  QStringList menus, items;
  for (QAction* a : bar->actions()) menus << a->objectName();
  for (QAction* a : service->actions()) {
    items << a->objectName() + ":" + (a->isSeparator() ? "-" : a->text());
    EXPECT_TRUE(a->shortcut().isEmpty());
  }
  EXPECT_EQ(menus, QStringList({"N3", "N2", "N14"}));
  EXPECT_EQ(service->title(), "&Сервис");
  EXPECT_EQ(items,
            QStringList({"ActCompare:&Сравнить с Вестрой...", "CBVerify:&Проверять после записи",
                         "N15:-", "ActSaveLog:Сохранить &журнал..."}));
  EXPECT_TRUE(window->CBVerify->isCheckable());
  EXPECT_FALSE(window->CBVerify->isChecked());
  EXPECT_FALSE(window->VerifyAfterWrite);
}

TEST_F(TWindowTest, CheckAfterWriteSurvivesARestart) {
  {
    auto window = NewWindow();
    window->CBVerify->trigger();  // as the person's click on the item does
    EXPECT_TRUE(window->VerifyAfterWrite);
  }
  EXPECT_EQ(QSettings("Mirotan", "TindraSetup").value("CBVerify.Checked").toString(), "true");
  auto window = NewWindow();
  EXPECT_TRUE(window->CBVerify->isChecked());
  EXPECT_TRUE(window->VerifyAfterWrite);
}
