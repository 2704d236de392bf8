// The two configuration pages: every control with its name, caption, items, range and start
// value, created top to bottom in the order in which the pages show them.
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "form/FmMain.h"

namespace {

constexpr int kRowSpacing = 3;

QLabel* Caption(const QString& text, QWidget* parent, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QGridLayout* Grid(QWidget* owner, int margin = 6) {
  auto* grid = new QGridLayout(owner);
  grid->setContentsMargins(margin, margin, margin, margin);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(kRowSpacing);
  return grid;
}

// Caption on the left, control on the right.
void Row(QGridLayout* grid, const QString& caption, QWidget* control, int span = 1) {
  const int row = grid->rowCount();
  grid->addWidget(Caption(caption, control->parentWidget(), control), row, 0);
  grid->addWidget(control, row, 1, 1, span);
}

}  // namespace

void TFmMain::CreateFormModel() {
  PGRight = Named(new QTabWidget(centralWidget()));
  PGRight->setObjectName("PGRight");

  // --- Page "Основные" ---
  TSUser = Named(new QWidget(PGRight));
  TSUser->setObjectName("TSUser");
  PGRight->addTab(TSUser, "Основные");
  auto* user = new QVBoxLayout(TSUser);
  user->setContentsMargins(4, 4, 4, 4);
  user->setSpacing(4);

  auto* positioning = new QGridLayout;
  positioning->setVerticalSpacing(kRowSpacing);
  user->addLayout(positioning);
  CBGPS = Named(new TComboBox("CBGPS", TSUser, {"Нет", "GPS", "ГЛОНАСС", "GPS + ГЛОНАСС"}, -1));
  Row(positioning, "Координаты по спутникам", CBGPS);
  CBCellInfo =
      Named(new TComboBox("CBCellInfo", TSUser, {"Нет", "Quectel", "Яндекс локатор", "Вестра"}, 1));
  Row(positioning, "Координаты по БС", CBCellInfo);
  positioning->setColumnStretch(1, 1);

  PCSMS = Named(new QTabWidget(TSUser));
  PCSMS->setObjectName("PCSMS");
  user->addWidget(PCSMS);
  const QStringList smsKinds = {"Нет", "Текст", "Ссылка на Google Map",
                                "Ссылка на моб. Яндекс Карты", "Ссылка на Яндекс Карты"};
  QWidget** phonePages[] = {&TSPhone1, &TSPhone2, &TSPhone3};
  TEdit** phoneEdits[] = {&EdPhone1, &EdPhone2, &EdPhone3};
  TComboBox** phoneKinds[] = {&CBPhone1, &CBPhone2, &CBPhone3};
  for (int i = 0; i < 3; ++i) {
    const QString n = QString::number(i + 1);
    QWidget* page = *phonePages[i] = Named(new QWidget(PCSMS));
    page->setObjectName("TSPhone" + n);
    PCSMS->addTab(page, "Телефон" + n);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(6, 4, 6, 4);
    *phoneEdits[i] = Named(new TEdit("EdPhone" + n, page));
    *phoneKinds[i] = Named(new TComboBox("CBPhone" + n, page, smsKinds, -1));
    row->addWidget(*phoneEdits[i], 1);
    row->addWidget(Caption("SMS", page, *phoneKinds[i]));
    row->addWidget(*phoneKinds[i], 1);
  }

  auto* requestAndArming = new QHBoxLayout;
  user->addLayout(requestAndArming);
  auto* groupBox2 = Named(new QGroupBox("Запрос по SMS", TSUser));
  groupBox2->setObjectName("GroupBox2");
  requestAndArming->addWidget(groupBox2, 1);
  auto* smsGrid = Grid(groupBox2);
  CBControlSMS = Named(
      new TComboBox("CBControlSMS", groupBox2, {"Выкл", "С заданого тлф", "С любого тлф"}, 0));
  smsGrid->addWidget(CBControlSMS, 0, 0, 1, 2);
  EdSMSPwd = Named(new TEdit("EdSMSPwd", groupBox2, 8));
  Row(smsGrid, "Пароль", EdSMSPwd);
  smsGrid->setRowStretch(smsGrid->rowCount(), 1);

  auto* groupBox3 = Named(new QGroupBox("Взятие/Снятие", TSUser));
  groupBox3->setObjectName("GroupBox3");
  requestAndArming->addWidget(groupBox3, 1);
  auto* armGrid = Grid(groupBox3);
  SECloseDelay = Named(new TSpinEdit("SECloseDelay", groupBox3, 15, 250, 1, 30));
  Row(armGrid, "Задержка (с)", SECloseDelay);
  EdOpenPwd = Named(new TEdit("EdOpenPwd", groupBox3, 4));
  Row(armGrid, "Пароль", EdOpenPwd);
  CBOpClsSMS = Named(new TCheckBox("CBOpClsSMS", "Передавать SMS", groupBox3, false));
  armGrid->addWidget(CBOpClsSMS, armGrid->rowCount(), 0, 1, 2);

  auto* gbAlarm = Named(new QGroupBox("Тревоги", TSUser));
  gbAlarm->setObjectName("GBAlarm");
  user->addWidget(gbAlarm);
  auto* alarm = Grid(gbAlarm);
  SEDelay = Named(new TSpinEdit("SEDelay", gbAlarm, 1, 10, 1, 4));
  // The longest caption of the group spans the columns of the shorter ones.
  alarm->addWidget(Caption("Длительность удержания кнопки для тревоги (с)", gbAlarm, SEDelay), 0, 0,
                   1, 3);
  alarm->addWidget(SEDelay, 0, 3);
  CBPIRMode = Named(new TComboBox("CBPIRMode", gbAlarm, {"Нет", "Использовать"}, 1));
  Row(alarm, "Объемный датчик", CBPIRMode, 3);
  CBVibroMode =
      Named(new TComboBox("CBVibroMode", gbAlarm, {"Нет", "Одиночный удар", "Двойной удар"}, 1));
  SEVibroSens = Named(new TSpinEdit("SEVibroSens", gbAlarm, 1, 100, 1, 50));
  {
    // Its own row across the group, so that the list keeps room for its longest item.
    // A nested layout inherits no spacing from a grid whose two spacings differ: set its own,
    // with a wider gap before the second caption so that it reads as a pair with its edit.
    auto* shock = new QHBoxLayout;
    shock->setSpacing(6);
    shock->addWidget(Caption("Датчик удара", gbAlarm, CBVibroMode));
    shock->addWidget(CBVibroMode, 1);
    shock->addSpacing(12);
    shock->addWidget(Caption("Чувств.", gbAlarm, SEVibroSens));
    shock->addWidget(SEVibroSens);
    alarm->addLayout(shock, alarm->rowCount(), 0, 1, 4);
  }
  CBBothAlarm =
      Named(new TComboBox("CBBothAlarm", gbAlarm, {"Нет", "30 сек", "1 мин", "2 мин", "3 мин"}, 0));
  Row(alarm, "Тревога только от двух датчиков", CBBothAlarm, 3);
  CBChangeCoord = Named(new TComboBox("CBChangeCoord", gbAlarm, {"Игнорировать", "Тревога"}, 0));
  Row(alarm, "Изменение координат под охраной", CBChangeCoord, 3);
  CBLowBatMsg = Named(
      new TCheckBox("CBLowBatMsg", "Посылать сообщение о низком заряде батареи", gbAlarm, false));
  alarm->addWidget(CBLowBatMsg, alarm->rowCount(), 0, 1, 4);
  alarm->setColumnStretch(1, 1);

  auto* groupBox4 = Named(new QGroupBox("Режим закладки", TSUser));
  groupBox4->setObjectName("GroupBox4");
  user->addWidget(groupBox4);
  auto* sleep = Grid(groupBox4);
  CBSleepMode = Named(
      new TComboBox("CBSleepMode", groupBox4, {"RAD всегда включена", "RAD в режиме закладки"}, 0));
  sleep->addWidget(CBSleepMode, 0, 0, 1, 2);
  SESleep = Named(new TSpinEdit("SESleep", groupBox4, 1, 250, 1, 24));
  Row(sleep, "Период опроса (ч)", SESleep);
  CBSleepMsg = Named(
      new TCheckBox("CBSleepMsg", "Передавать сообщения в пассивном режиме", groupBox4, false));
  sleep->addWidget(CBSleepMsg, sleep->rowCount(), 0, 1, 2);
  CBSleepKeyb =
      Named(new TCheckBox("CBSleepKeyb", "Просыпаться по нажатию кнопок", groupBox4, false));
  sleep->addWidget(CBSleepKeyb, sleep->rowCount(), 0, 1, 2);
  sleep->setColumnStretch(1, 1);

  auto* gbRing = Named(new QGroupBox("Голосовое прослушивание", TSUser));
  gbRing->setObjectName("GBRing");
  user->addWidget(gbRing);
  auto* ring = Grid(gbRing);
  CBRingMode = Named(new TComboBox("CBRingMode", gbRing,
                                   {"Отключено", "С номеров из списка", "С любых номеров"}, 0));
  ring->addWidget(CBRingMode, 0, 0, 1, 4);
  SERingDuration = Named(new TSpinEdit("SERingDuration", gbRing, 0, 250, 1, 2));
  SERingLevel = Named(new TSpinEdit("SERingLevel", gbRing, 0, 15, 1, 11));
  ring->addWidget(Caption("Макс длительн. (мин)", gbRing, SERingDuration), 1, 0);
  ring->addWidget(SERingDuration, 1, 1);
  ring->addWidget(Caption("Громкость", gbRing, SERingLevel), 1, 2);
  ring->addWidget(SERingLevel, 1, 3);
  ring->setColumnStretch(1, 1);
  ring->setColumnStretch(3, 1);
  user->addStretch(1);

  // --- Page "Системные" ---
  TSSystem = Named(new QWidget(PGRight));
  TSSystem->setObjectName("TSSystem");
  PGRight->addTab(TSSystem, "Системные");
  auto* system = new QVBoxLayout(TSSystem);
  system->setContentsMargins(4, 4, 4, 4);
  system->setSpacing(4);

  PnSystMiddle = Named(new QWidget(TSSystem));
  PnSystMiddle->setObjectName("PnSystMiddle");
  system->addWidget(PnSystMiddle);
  auto* middle = new QVBoxLayout(PnSystMiddle);
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(4);

  PGSIM = Named(new QTabWidget(PnSystMiddle));
  PGSIM->setObjectName("PGSIM");
  middle->addWidget(PGSIM);
  struct TSimPage {
    QWidget** Page;
    const char* PageName;
    const char* Caption;
    const char* Suffix;
    TEdit** Login;
    TEdit** Pwd;
    TEdit** APN;
    TEdit** PIN;
    const char* LoginText;
    const char* APNText;
  };
  // Presets of the usual kind: a short login that is also the password, an access point, a PIN.
  const TSimPage simPages[] = {
      {&TSIntSIM, "TSIntSIM", "SIM1 (чип)", "I", &EdLoginI, &EdPwdI, &EdAPNI, &EdPINI, "vst",
       "m2m.vestra.example"},
      {&TSExtSIM, "TSExtSIM", "SIM2 (внешняя)", "E", &EdLoginE, &EdPwdE, &EdAPNE, &EdPINE, "gdata",
       "internet.vestra.example"},
  };
  for (const TSimPage& sim : simPages) {
    QWidget* page = *sim.Page = Named(new QWidget(PGSIM));
    page->setObjectName(sim.PageName);
    PGSIM->addTab(page, sim.Caption);
    auto* grid = Grid(page, 5);
    const QString suffix = sim.Suffix;
    *sim.Login = Named(new TEdit("EdLogin" + suffix, page));
    (*sim.Login)->SetText(sim.LoginText);
    Row(grid, "Логин", *sim.Login);
    *sim.Pwd = Named(new TEdit("EdPwd" + suffix, page));
    (*sim.Pwd)->SetText(sim.LoginText);
    Row(grid, "Пароль", *sim.Pwd);
    *sim.APN = Named(new TEdit("EdAPN" + suffix, page));
    (*sim.APN)->SetText(sim.APNText);
    Row(grid, "APN сервер", *sim.APN);
    *sim.PIN = Named(new TEdit("EdPIN" + suffix, page));
    (*sim.PIN)->SetText("1234");
    Row(grid, "PIN", *sim.PIN);
  }

  auto* settings = new QGridLayout;
  settings->setContentsMargins(2, 0, 2, 0);
  settings->setVerticalSpacing(kRowSpacing);
  middle->addLayout(settings);
  CBPeriod = Named(new TComboBox("CBPeriod", PnSystMiddle,
                                 {"Никогда", "Каждые 20с", "Каждые 90с", "Каждые 3мин",
                                  "Каждые 10мин", "Каждые 30мин", "Каждый 4часа", "Каждые 24часа"},
                                 4));
  Row(settings, "Оповещать сервер", CBPeriod);
  CBSelSIMMode = Named(new TComboBox(
      "CBSelSIMMode", PnSystMiddle,
      {"SIM1 (чип)", "SIM2 (внешняя)", "SIM1 (чип), SIM2 (внешняя)", "SIM2 (внешняя), SIM1 (чип)"},
      1));
  Row(settings, "Использовать SIM карты", CBSelSIMMode);
  SEBrightness = Named(new TSpinEdit("SEBrightness", PnSystMiddle, 0, 255, 1, 180));
  Row(settings, "Яркость", SEBrightness);
  SETimeZone = Named(new TSpinEdit("SETimeZone", PnSystMiddle, -12, 12, 1, 4));
  Row(settings, "Часовой пояс", SETimeZone);
  settings->setColumnStretch(1, 1);

  PCServers = Named(new QTabWidget(TSSystem));
  PCServers->setObjectName("PCServers");
  system->addWidget(PCServers);
  QWidget** serverPages[] = {&TSServer1, &TSServer2, &TSServer3};
  TEdit** serverEdits[] = {&EdServer1, &EdServer2, &EdServer3};
  TCheckBox** serverBoxes[] = {&CBServer1, &CBServer2, &CBServer3};
  for (int i = 0; i < 3; ++i) {
    const QString n = QString::number(i + 1);
    QWidget* page = *serverPages[i] = Named(new QWidget(PCServers));
    page->setObjectName("TSServer" + n);
    PCServers->addTab(page, "Сервер" + n);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(6, 4, 6, 4);
    *serverEdits[i] = Named(new TEdit("EdServer" + n, page));
    *serverBoxes[i] = Named(new TCheckBox("CBServer" + n, "Не использовать", page, false));
    row->addWidget(*serverEdits[i], 1);
    row->addWidget(*serverBoxes[i]);
  }

  auto* lower = new QHBoxLayout;
  system->addLayout(lower);
  auto* checks = new QVBoxLayout;
  checks->setSpacing(kRowSpacing + 2);
  lower->addLayout(checks, 1);
  CBSendLinkFault =
      Named(new TCheckBox("CBSendLinkFault", "Передавать отказы связи", TSSystem, false));
  checks->addWidget(CBSendLinkFault);
  CBSetTime = Named(new TCheckBox("CBSetTime", "Синхронизировать время", TSSystem, true));
  checks->addWidget(CBSetTime);
  CBLoadEfemerids = Named(new TCheckBox("CBLoadEfemerids", "Загружать эфемериды", TSSystem, true));
  checks->addWidget(CBLoadEfemerids);
  CBUseAGPS = Named(new TCheckBox("CBUseAGPS", "Использовать A-GPS", TSSystem, true));
  checks->addWidget(CBUseAGPS);
  auto* calibration = new QHBoxLayout;
  checks->addLayout(calibration);
  BtCorrCoef = Named(new QPushButton("Калибровка...", TSSystem));
  BtCorrCoef->setObjectName("BtCorrCoef");
  calibration->addWidget(BtCorrCoef);
  SECorrCoef = Named(new TSpinEdit("SECorrCoef", TSSystem, 90, 110, 1, 100));
  calibration->addWidget(SECorrCoef);
  calibration->addStretch(1);
  checks->addStretch(1);

  auto* groupBox1 = Named(new QGroupBox("Баланс", TSSystem));
  groupBox1->setObjectName("GroupBox1");
  lower->addWidget(groupBox1, 1, Qt::AlignTop);
  auto* balance = Grid(groupBox1);
  EdRqBalance = Named(new TEdit("EdRqBalance", groupBox1));
  EdRqBalance->SetText("*100#");
  Row(balance, "Запрос", EdRqBalance);
  SELimitBal = Named(new TSpinEdit("SELimitBal", groupBox1, 0, 2500, 10, 0));
  Row(balance, "Предел (р)", SELimitBal);
  SEPeriodBal = Named(new TSpinEdit("SEPeriodBal", groupBox1, 0, 250, 1, 2));
  Row(balance, "Период (ч)", SEPeriodBal);
  system->addStretch(1);
}
