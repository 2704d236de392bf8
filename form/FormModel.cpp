// The two configuration pages: every control made from its row of the control table (name,
// caption, items, range, limit, start value), laid out top to bottom in the order in which the
// pages show them. Group and tab titles are the groups the rows name.
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

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const TControlRow& RowNamed(std::string_view name) { return ControlTable()[ControlIndex(name)]; }

// The caption its row gives the control, as a label that names it.
QLabel* Caption(QWidget* control) {
  const std::string name = control->objectName().toStdString();
  auto* label = new QLabel(Utf8(RowNamed(name).Caption), control->parentWidget());
  label->setBuddy(control);
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
void Row(QGridLayout* grid, QWidget* control, int span = 1) {
  const int row = grid->rowCount();
  grid->addWidget(Caption(control), row, 0);
  grid->addWidget(control, row, 1, 1, span);
}

QVBoxLayout* Column(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  return column;
}

}  // namespace

template <class T>
T* TFmMain::Make(std::string_view name, QWidget* parent) {
  return Named(new T(RowNamed(name), parent));
}

QGroupBox* TFmMain::MakeGroup(const char* objectName, std::string_view member, QWidget* parent) {
  auto* group = Named(new QGroupBox(Utf8(RowNamed(member).Group), parent));
  group->setObjectName(objectName);
  return group;
}

QWidget* TFmMain::MakeTab(QTabWidget* tabs, const QString& objectName, std::string_view member) {
  QWidget* page = Named(new QWidget(tabs));
  page->setObjectName(objectName);
  tabs->addTab(page, Utf8(RowNamed(member).Group));
  return page;
}

void TFmMain::CreateFormModel() {
  PGRight = Named(new QTabWidget(centralWidget()));
  PGRight->setObjectName("PGRight");
  TSUser = Named(new QWidget(PGRight));
  TSUser->setObjectName("TSUser");
  PGRight->addTab(TSUser, "Основные");
  QVBoxLayout* user = Column(ScrollingPage(TSUser));
  CreatePositioningAndPhones(user);
  CreateRequestAndArming(user);
  CreateAlarms(user);
  CreateSleepAndRing(user);
  user->addStretch(1);

  TSSystem = Named(new QWidget(PGRight));
  TSSystem->setObjectName("TSSystem");
  PGRight->addTab(TSSystem, "Системные");
  QVBoxLayout* system = Column(ScrollingPage(TSSystem));
  CreateSimAndReporting(system);
  CreateServers(system);
  CreateOptionsAndBalance(system);
  system->addStretch(1);
}

void TFmMain::CreatePositioningAndPhones(QVBoxLayout* user) {
  auto* positioning = new QGridLayout;
  positioning->setVerticalSpacing(kRowSpacing);
  user->addLayout(positioning);
  CBGPS = Make<TComboBox>("CBGPS", TSUser);
  Row(positioning, CBGPS);
  CBCellInfo = Make<TComboBox>("CBCellInfo", TSUser);
  Row(positioning, CBCellInfo);
  positioning->setColumnStretch(1, 1);

  PCSMS = Named(new QTabWidget(TSUser));
  PCSMS->setObjectName("PCSMS");
  user->addWidget(PCSMS);
  QWidget** pages[] = {&TSPhone1, &TSPhone2, &TSPhone3};
  TEdit** edits[] = {&EdPhone1, &EdPhone2, &EdPhone3};
  TComboBox** kinds[] = {&CBPhone1, &CBPhone2, &CBPhone3};
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i + 1);
    QWidget* page = *pages[i] =
        MakeTab(PCSMS, QString::fromStdString("TSPhone" + n), "EdPhone" + n);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(6, 4, 6, 4);
    *edits[i] = Make<TEdit>("EdPhone" + n, page);
    *kinds[i] = Make<TComboBox>("CBPhone" + n, page);
    row->addWidget(*edits[i], 1);
    row->addWidget(Caption(*kinds[i]));
    row->addWidget(*kinds[i], 1);
  }
}

void TFmMain::CreateRequestAndArming(QVBoxLayout* user) {
  auto* requestAndArming = new QHBoxLayout;
  user->addLayout(requestAndArming);
  QGroupBox* groupBox2 = MakeGroup("GroupBox2", "CBControlSMS", TSUser);
  requestAndArming->addWidget(groupBox2, 1);
  auto* smsGrid = Grid(groupBox2);
  CBControlSMS = Make<TComboBox>("CBControlSMS", groupBox2);
  smsGrid->addWidget(CBControlSMS, 0, 0, 1, 2);
  EdSMSPwd = Make<TEdit>("EdSMSPwd", groupBox2);
  Row(smsGrid, EdSMSPwd);
  smsGrid->setRowStretch(smsGrid->rowCount(), 1);

  QGroupBox* groupBox3 = MakeGroup("GroupBox3", "SECloseDelay", TSUser);
  requestAndArming->addWidget(groupBox3, 1);
  auto* armGrid = Grid(groupBox3);
  SECloseDelay = Make<TSpinEdit>("SECloseDelay", groupBox3);
  Row(armGrid, SECloseDelay);
  EdOpenPwd = Make<TEdit>("EdOpenPwd", groupBox3);
  Row(armGrid, EdOpenPwd);
  CBOpClsSMS = Make<TCheckBox>("CBOpClsSMS", groupBox3);
  armGrid->addWidget(CBOpClsSMS, armGrid->rowCount(), 0, 1, 2);
}

void TFmMain::CreateAlarms(QVBoxLayout* user) {
  QGroupBox* gbAlarm = MakeGroup("GBAlarm", "SEDelay", TSUser);
  user->addWidget(gbAlarm);
  auto* alarm = Grid(gbAlarm);
  SEDelay = Make<TSpinEdit>("SEDelay", gbAlarm);
  // The longest caption of the group spans the columns of the shorter ones.
  alarm->addWidget(Caption(SEDelay), 0, 0, 1, 3);
  alarm->addWidget(SEDelay, 0, 3);
  CBPIRMode = Make<TComboBox>("CBPIRMode", gbAlarm);
  Row(alarm, CBPIRMode, 3);
  CBVibroMode = Make<TComboBox>("CBVibroMode", gbAlarm);
  SEVibroSens = Make<TSpinEdit>("SEVibroSens", gbAlarm);
  {
    // Its own row across the group, so that the list keeps room for its longest item.
    // A nested layout inherits no spacing from a grid whose two spacings differ: set its own,
    // with a wider gap before the second caption so that it reads as a pair with its edit.
    auto* shock = new QHBoxLayout;
    shock->setSpacing(6);
    shock->addWidget(Caption(CBVibroMode));
    shock->addWidget(CBVibroMode, 1);
    shock->addSpacing(12);
    shock->addWidget(Caption(SEVibroSens));
    shock->addWidget(SEVibroSens);
    alarm->addLayout(shock, alarm->rowCount(), 0, 1, 4);
  }
  CBBothAlarm = Make<TComboBox>("CBBothAlarm", gbAlarm);
  Row(alarm, CBBothAlarm, 3);
  CBChangeCoord = Make<TComboBox>("CBChangeCoord", gbAlarm);
  Row(alarm, CBChangeCoord, 3);
  CBLowBatMsg = Make<TCheckBox>("CBLowBatMsg", gbAlarm);
  alarm->addWidget(CBLowBatMsg, alarm->rowCount(), 0, 1, 4);
  alarm->setColumnStretch(1, 1);
}

void TFmMain::CreateSleepAndRing(QVBoxLayout* user) {
  QGroupBox* groupBox4 = MakeGroup("GroupBox4", "CBSleepMode", TSUser);
  user->addWidget(groupBox4);
  auto* sleep = Grid(groupBox4);
  CBSleepMode = Make<TComboBox>("CBSleepMode", groupBox4);
  sleep->addWidget(CBSleepMode, 0, 0, 1, 2);
  SESleep = Make<TSpinEdit>("SESleep", groupBox4);
  Row(sleep, SESleep);
  CBSleepMsg = Make<TCheckBox>("CBSleepMsg", groupBox4);
  sleep->addWidget(CBSleepMsg, sleep->rowCount(), 0, 1, 2);
  CBSleepKeyb = Make<TCheckBox>("CBSleepKeyb", groupBox4);
  sleep->addWidget(CBSleepKeyb, sleep->rowCount(), 0, 1, 2);
  sleep->setColumnStretch(1, 1);

  QGroupBox* gbRing = MakeGroup("GBRing", "CBRingMode", TSUser);
  user->addWidget(gbRing);
  auto* ring = Grid(gbRing);
  CBRingMode = Make<TComboBox>("CBRingMode", gbRing);
  ring->addWidget(CBRingMode, 0, 0, 1, 4);
  SERingDuration = Make<TSpinEdit>("SERingDuration", gbRing);
  SERingLevel = Make<TSpinEdit>("SERingLevel", gbRing);
  ring->addWidget(Caption(SERingDuration), 1, 0);
  ring->addWidget(SERingDuration, 1, 1);
  ring->addWidget(Caption(SERingLevel), 1, 2);
  ring->addWidget(SERingLevel, 1, 3);
  ring->setColumnStretch(1, 1);
  ring->setColumnStretch(3, 1);
}

void TFmMain::CreateSimAndReporting(QVBoxLayout* system) {
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
    const char* Suffix;
    TEdit** Edits[4];
  };
  const TSimPage simPages[] = {
      {&TSIntSIM, "TSIntSIM", "I", {&EdLoginI, &EdPwdI, &EdAPNI, &EdPINI}},
      {&TSExtSIM, "TSExtSIM", "E", {&EdLoginE, &EdPwdE, &EdAPNE, &EdPINE}},
  };
  for (const TSimPage& sim : simPages) {
    const std::string suffix = sim.Suffix;
    QWidget* page = *sim.Page = MakeTab(PGSIM, sim.PageName, "EdLogin" + suffix);
    auto* grid = Grid(page, 5);
    const char* names[] = {"EdLogin", "EdPwd", "EdAPN", "EdPIN"};
    for (int i = 0; i < 4; ++i) {
      *sim.Edits[i] = Make<TEdit>(names[i] + suffix, page);
      Row(grid, *sim.Edits[i]);
    }
  }

  auto* settings = new QGridLayout;
  settings->setContentsMargins(2, 0, 2, 0);
  settings->setVerticalSpacing(kRowSpacing);
  middle->addLayout(settings);
  CBPeriod = Make<TComboBox>("CBPeriod", PnSystMiddle);
  Row(settings, CBPeriod);
  CBSelSIMMode = Make<TComboBox>("CBSelSIMMode", PnSystMiddle);
  Row(settings, CBSelSIMMode);
  SEBrightness = Make<TSpinEdit>("SEBrightness", PnSystMiddle);
  Row(settings, SEBrightness);
  SETimeZone = Make<TSpinEdit>("SETimeZone", PnSystMiddle);
  Row(settings, SETimeZone);
  settings->setColumnStretch(1, 1);
}

void TFmMain::CreateServers(QVBoxLayout* system) {
  PCServers = Named(new QTabWidget(TSSystem));
  PCServers->setObjectName("PCServers");
  system->addWidget(PCServers);
  QWidget** pages[] = {&TSServer1, &TSServer2, &TSServer3};
  TEdit** edits[] = {&EdServer1, &EdServer2, &EdServer3};
  TCheckBox** boxes[] = {&CBServer1, &CBServer2, &CBServer3};
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i + 1);
    QWidget* page = *pages[i] =
        MakeTab(PCServers, QString::fromStdString("TSServer" + n), "EdServer" + n);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(6, 4, 6, 4);
    *edits[i] = Make<TEdit>("EdServer" + n, page);
    *boxes[i] = Make<TCheckBox>("CBServer" + n, page);
    row->addWidget(*edits[i], 1);
    row->addWidget(*boxes[i]);
  }
}

void TFmMain::CreateOptionsAndBalance(QVBoxLayout* system) {
  auto* lower = new QHBoxLayout;
  system->addLayout(lower);
  auto* checks = new QVBoxLayout;
  checks->setSpacing(kRowSpacing + 2);
  lower->addLayout(checks, 1);
  for (auto [box, name] : {std::pair{&CBSendLinkFault, "CBSendLinkFault"},
                           {&CBSetTime, "CBSetTime"},
                           {&CBLoadEfemerids, "CBLoadEfemerids"},
                           {&CBUseAGPS, "CBUseAGPS"}}) {
    *box = Make<TCheckBox>(name, TSSystem);
    checks->addWidget(*box);
  }
  auto* calibration = new QHBoxLayout;
  checks->addLayout(calibration);
  BtCorrCoef = Named(new QPushButton("Калибровка...", TSSystem));
  BtCorrCoef->setObjectName("BtCorrCoef");
  calibration->addWidget(BtCorrCoef);
  SECorrCoef = Make<TSpinEdit>("SECorrCoef", TSSystem);
  calibration->addWidget(SECorrCoef);
  calibration->addStretch(1);
  checks->addStretch(1);

  QGroupBox* groupBox1 = MakeGroup("GroupBox1", "EdRqBalance", TSSystem);
  lower->addWidget(groupBox1, 1, Qt::AlignTop);
  auto* balance = Grid(groupBox1);
  EdRqBalance = Make<TEdit>("EdRqBalance", groupBox1);
  Row(balance, EdRqBalance);
  SELimitBal = Make<TSpinEdit>("SELimitBal", groupBox1);
  Row(balance, SELimitBal);
  SEPeriodBal = Make<TSpinEdit>("SEPeriodBal", groupBox1);
  Row(balance, SEPeriodBal);
}
