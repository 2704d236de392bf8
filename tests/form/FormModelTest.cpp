// The controls as the window opens: names, kinds, items, ranges, limits and start values.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <variant>

#include "tests/support/WindowTest.h"

namespace {

struct TListRow {
  const char* Name;
  QStringList Items;
  int Index;
};
struct TSpinRow {
  const char* Name;
  int Minimum, Maximum, Step, Value;
};
struct TEditRow {
  const char* Name;
  int Limit;
  const char* Text;  // nullptr: a preset checked by its form elsewhere
};
struct TCheckRow {
  const char* Name;
  const char* Caption;
  bool Checked;
};

const QStringList kSms = {"Нет", "Текст", "Ссылка на Google Map", "Ссылка на моб. Яндекс Карты",
                          "Ссылка на Яндекс Карты"};

const TListRow kLists[] = {
    {"CBGPS", {"Нет", "GPS", "ГЛОНАСС", "GPS + ГЛОНАСС"}, -1},
    {"CBCellInfo", {"Нет", "Quectel", "Яндекс локатор", "Вестра"}, 1},
    {"CBPhone1", kSms, -1},
    {"CBPhone2", kSms, -1},
    {"CBPhone3", kSms, -1},
    {"CBControlSMS", {"Выкл", "С заданого тлф", "С любого тлф"}, 0},
    {"CBPIRMode", {"Нет", "Использовать"}, 1},
    {"CBVibroMode", {"Нет", "Одиночный удар", "Двойной удар"}, 1},
    {"CBBothAlarm", {"Нет", "30 сек", "1 мин", "2 мин", "3 мин"}, 0},
    {"CBChangeCoord", {"Игнорировать", "Тревога"}, 0},
    {"CBSleepMode", {"RAD всегда включена", "RAD в режиме закладки"}, 0},
    {"CBRingMode", {"Отключено", "С номеров из списка", "С любых номеров"}, 0},
    {"CBPeriod",
     {"Никогда", "Каждые 20с", "Каждые 90с", "Каждые 3мин", "Каждые 10мин", "Каждые 30мин",
      "Каждый 4часа", "Каждые 24часа"},
     4},
    {"CBSelSIMMode",
     {"SIM1 (чип)", "SIM2 (внешняя)", "SIM1 (чип), SIM2 (внешняя)", "SIM2 (внешняя), SIM1 (чип)"},
     1},
};

const TSpinRow kSpins[] = {
    {"SECloseDelay", 15, 250, 1, 30}, {"SEDelay", 1, 10, 1, 4},
    {"SEVibroSens", 1, 100, 1, 50},   {"SESleep", 1, 250, 1, 24},
    {"SERingDuration", 0, 250, 1, 2}, {"SERingLevel", 0, 15, 1, 11},
    {"SEBrightness", 0, 255, 1, 180}, {"SETimeZone", -12, 12, 1, 4},
    {"SECorrCoef", 90, 110, 1, 100},  {"SELimitBal", 0, 2500, 10, 0},
    {"SEPeriodBal", 0, 250, 1, 2},
};

const TEditRow kEdits[] = {
    {"EdPhone1", 0, ""},      {"EdPhone2", 0, ""},         {"EdPhone3", 0, ""},
    {"EdSMSPwd", 8, ""},      {"EdOpenPwd", 4, ""},        {"EdLoginI", 0, nullptr},
    {"EdPwdI", 0, nullptr},   {"EdAPNI", 0, nullptr},      {"EdPINI", 0, nullptr},
    {"EdLoginE", 0, nullptr}, {"EdPwdE", 0, nullptr},      {"EdAPNE", 0, nullptr},
    {"EdPINE", 0, nullptr},   {"EdServer1", 0, ""},        {"EdServer2", 0, ""},
    {"EdServer3", 0, ""},     {"EdRqBalance", 0, "*100#"},
};

const TCheckRow kChecks[] = {
    {"CBOpClsSMS", "Передавать SMS", false},
    {"CBLowBatMsg", "Посылать сообщение о низком заряде батареи", false},
    {"CBSleepMsg", "Передавать сообщения в пассивном режиме", false},
    {"CBSleepKeyb", "Просыпаться по нажатию кнопок", false},
    {"CBServer1", "Не использовать", false},
    {"CBServer2", "Не использовать", false},
    {"CBServer3", "Не использовать", false},
    {"CBSendLinkFault", "Передавать отказы связи", false},
    {"CBSetTime", "Синхронизировать время", true},
    {"CBLoadEfemerids", "Загружать эфемериды", true},
    {"CBUseAGPS", "Использовать A-GPS", true},
    {"CBManualCorrCoef", "Устанавливать коэф. калибровки вручную", false},
};

QStringList ItemsOf(const TComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

bool AllLowerLatin(const QString& text) {
  for (QChar c : text)
    if (c < 'a' || c > 'z') return false;
  return true;
}

bool HostName(const QString& text) {
  return text.contains('.') && !text.startsWith('.') && !text.endsWith('.') && !text.contains(' ');
}

}  // namespace

TEST_F(TWindowTest, EveryControlOpensWithItsNameKindItemsRangeAndStartValue) {
  auto window = NewWindow();
  for (const TListRow& row : kLists) {
    SCOPED_TRACE(row.Name);
    auto* list = window->FindControlAs<TComboBox>(row.Name);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ItemsOf(list), row.Items);
    EXPECT_EQ(list->ItemIndex(), row.Index);
    EXPECT_FALSE(list->isEditable());
    EXPECT_TRUE(list->isEnabled());
  }
  for (const TSpinRow& row : kSpins) {
    SCOPED_TRACE(row.Name);
    auto* spin = window->FindControlAs<TSpinEdit>(row.Name);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), row.Minimum);
    EXPECT_EQ(spin->maximum(), row.Maximum);
    EXPECT_EQ(spin->singleStep(), row.Step);
    EXPECT_EQ(spin->Value(), row.Value);
    EXPECT_TRUE(spin->isEnabled());
  }
  for (const TEditRow& row : kEdits) {
    SCOPED_TRACE(row.Name);
    auto* edit = window->FindControlAs<TEdit>(row.Name);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->MaxLength(), row.Limit);
    if (row.Text) {
      EXPECT_EQ(edit->Text(), QString(row.Text));
    }
    EXPECT_TRUE(edit->isEnabled());
  }
  for (const TCheckRow& row : kChecks) {
    SCOPED_TRACE(row.Name);
    auto* box = window->FindControlAs<TCheckBox>(row.Name);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString(row.Caption));
    EXPECT_EQ(box->Checked(), row.Checked);
    EXPECT_TRUE(box->isEnabled());
  }
  auto* port = window->FindControlAs<TComboBox>("CBPort");
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->count(), 24);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(port->itemText(i), "COM" + QString::number(i + 1));
  EXPECT_EQ(port->ItemIndex(), -1);
}

TEST_F(TWindowTest, SimPresetsHaveTheirForms) {
  auto window = NewWindow();
  EXPECT_EQ(window->EdLoginI->Text().size(), 3);
  EXPECT_TRUE(AllLowerLatin(window->EdLoginI->Text()));
  EXPECT_EQ(window->EdPwdI->Text(), window->EdLoginI->Text());
  EXPECT_EQ(window->EdLoginE->Text().size(), 5);
  EXPECT_TRUE(AllLowerLatin(window->EdLoginE->Text()));
  EXPECT_EQ(window->EdPwdE->Text(), window->EdLoginE->Text());
  EXPECT_TRUE(HostName(window->EdAPNI->Text()));
  EXPECT_TRUE(HostName(window->EdAPNE->Text()));
  EXPECT_NE(window->EdAPNI->Text(), window->EdAPNE->Text());
  EXPECT_EQ(window->EdPINI->Text().size(), 4);
  EXPECT_TRUE(window->EdPINI->Text().toUInt() > 0 || window->EdPINI->Text() == "0000");
  EXPECT_EQ(window->EdPINE->Text(), window->EdPINI->Text());
}

TEST_F(TWindowTest, PagesAndGroupsStandInTheirOrder) {
  auto window = NewWindow();
  auto tabs = [](const QTabWidget* pages) {
    QStringList names;
    for (int i = 0; i < pages->count(); ++i)
      names << pages->widget(i)->objectName() + ":" + pages->tabText(i);
    return names;
  };
  EXPECT_EQ(tabs(window->PGRight), QStringList({"TSUser:Основные", "TSSystem:Системные"}));
  EXPECT_EQ(tabs(window->PCSMS),
            QStringList({"TSPhone1:Телефон1", "TSPhone2:Телефон2", "TSPhone3:Телефон3"}));
  EXPECT_EQ(tabs(window->PGSIM), QStringList({"TSIntSIM:SIM1 (чип)", "TSExtSIM:SIM2 (внешняя)"}));
  EXPECT_EQ(tabs(window->PCServers),
            QStringList({"TSServer1:Сервер1", "TSServer2:Сервер2", "TSServer3:Сервер3"}));
  EXPECT_EQ(window->PCSMS->currentWidget(), window->TSPhone1);
  EXPECT_EQ(window->PCServers->currentWidget(), window->TSServer1);

  // Each control lies on its page and in its group, and the groups follow one another down
  // the page as the window describes them.
  const std::pair<const char*, const char*> inGroup[] = {{"CBControlSMS", "Запрос по SMS"},
                                                         {"EdSMSPwd", "Запрос по SMS"},
                                                         {"SECloseDelay", "Взятие/Снятие"},
                                                         {"EdOpenPwd", "Взятие/Снятие"},
                                                         {"CBOpClsSMS", "Взятие/Снятие"},
                                                         {"SEDelay", "Тревоги"},
                                                         {"CBLowBatMsg", "Тревоги"},
                                                         {"CBSleepMode", "Режим закладки"},
                                                         {"CBSleepKeyb", "Режим закладки"},
                                                         {"CBRingMode", "Голосовое прослушивание"},
                                                         {"SERingLevel", "Голосовое прослушивание"},
                                                         {"EdRqBalance", "Баланс"},
                                                         {"SEPeriodBal", "Баланс"}};
  for (auto [name, group] : inGroup) {
    SCOPED_TRACE(name);
    auto* control = qobject_cast<QWidget*>(window->FindControl(name));
    ASSERT_NE(control, nullptr);
    auto* box = qobject_cast<QGroupBox*>(control->parentWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->title(), QString(group));
  }
  window->show();
  QApplication::processEvents();
  auto top = [&](const char* name) {
    auto* w = qobject_cast<QWidget*>(window->FindControl(name));
    return w->mapTo(window.get(), QPoint(0, 0)).y();
  };
  const char* userOrder[] = {"CBGPS",   "CBCellInfo", "PCSMS", "GroupBox2",
                             "GBAlarm", "GroupBox4",  "GBRing"};
  for (std::size_t i = 1; i < std::size(userOrder); ++i)
    EXPECT_LT(top(userOrder[i - 1]), top(userOrder[i])) << userOrder[i];
  EXPECT_EQ(top("GroupBox2"), top("GroupBox3"));
}

TEST_F(TWindowTest, EveryCaptionShowsWholeWithRoomBeforeItsControl) {
  auto window = NewWindow();
  window->show();
  int captions = 0;
  for (QWidget* page : {window->TSUser, window->TSSystem}) {
    window->PGRight->setCurrentWidget(page);
    QApplication::processEvents();
    for (const QLabel* caption : page->findChildren<QLabel*>()) {
      const QWidget* control = caption->buddy();
      if (!control || !caption->isVisible()) continue;
      SCOPED_TRACE(control->objectName().toStdString());
      ++captions;
      EXPECT_GE(caption->width(), caption->sizeHint().width());
      const int gap = control->mapTo(window.get(), QPoint(0, 0)).x() -
                      caption->mapTo(window.get(), QPoint(caption->width(), 0)).x();
      EXPECT_GE(gap, 4);
    }
  }
  EXPECT_GE(captions, 20);
}
