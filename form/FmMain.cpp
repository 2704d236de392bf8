// The main window: its parts, the menu and the actions, start-up and shut-down, and the frame
// that every device operation runs in.
#include "form/FmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "form/QtPerson.h"
#include "form/QtText.h"
#include "link/VestraError.h"
#include "service/PortStore.h"

TFmMain* FmMain = nullptr;

namespace {

const char* const kCaption = "Конфигуратор Вестра ver ";
const char* const kVersion = VESTRA_VERSION;

QFont LogFont() {
  if (QFontDatabase::families().contains("Lucida Console")) return QFont("Lucida Console", 9);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (QFontInfo(font).fixedPitch()) return font;
  // Some platforms (the offscreen one among them) name no fixed font of their own.
  font.setStyleHint(QFont::TypeWriter);
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isFixedPitch(family)) {
      font.setFamily(family);
      break;
    }
  }
  return font;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// A caption without its access key's "&" ("&&" stands for one "&"), for a control beside the
// menu: a button of its own letter would take Alt and that letter from the menu bar.
QString WithoutAccessKey(QString caption) {
  for (qsizetype i = caption.indexOf('&'); i >= 0; i = caption.indexOf('&', i + 1))
    caption.remove(i, 1);
  return caption;
}

}  // namespace

TFmMain::TFmMain(QWidget* parent) : TFmMain(parent, nullptr, TSettingsUse::ReadWrite) {}

TFmMain::TFmMain(TPerson& person, TSettingsUse settings) : TFmMain(nullptr, &person, settings) {}

TFmMain::TFmMain(QWidget* parent, TPerson* person, TSettingsUse settings)
    : QMainWindow(parent), Session(nullptr, StoredPortDevice), SettingsUse(settings) {
  FmMain = this;
  OwnPerson = std::make_unique<TQtPerson>(*this);
  Person = person ? person : OwnPerson.get();
  Session.SetPerson(Person);
  setObjectName("FmMain");
  // Fixed single border: minimize and close, no maximize.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  CreateActionsAndMenu();
  CreateLeftPanel();
  CreateFormModel();
  auto* sides = new QHBoxLayout(client);
  sides->setContentsMargins(0, 0, 0, 0);
  sides->setSpacing(0);
  sides->addWidget(PnLeft);
  sides->addWidget(PGRight);
  PGRight->setFixedWidth(kPagesWidth);

  CreateOptionsPanel();
  CreateWaitPanel();
  CreateFileDialogs();
  Timer = Named(new QTimer(this));
  Timer->setObjectName("Timer");
  Timer->setInterval(100);

  BindInterlocks();
  ConnectHandlers();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  FormCreate();
  Timer->start();
}

TFmMain::~TFmMain() {
  Timer->stop();
  FormDestroy();
  // The controls outlive this body; none of their notifications may reach a half-gone window.
  for (const QPointer<QObject>& component : Components)
    if (component) component->disconnect(this);
  FmMain = nullptr;
}

void TFmMain::SetPerson(TPerson* person) {
  Person = person ? person : OwnPerson.get();
  Session.SetPerson(Person);
}

void TFmMain::CreateLeftPanel() {
  auto* panel = new QFrame(centralWidget());
  panel->setFrameShape(QFrame::StyledPanel);
  PnLeft = Named(panel);
  PnLeft->setObjectName("PnLeft");
  PnLeft->setFixedWidth(314);
  auto* column = new QVBoxLayout(PnLeft);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  column->addLayout(buttons);
  BtWrite = Named(new QPushButton(WithoutAccessKey(ActWrite->text()), PnLeft));
  BtWrite->setObjectName("BtWrite");
  BtRead = Named(new QPushButton(WithoutAccessKey(ActRead->text()), PnLeft));
  BtRead->setObjectName("BtRead");
  SBGPS = Named(new QPushButton("Прием", PnLeft));
  SBGPS->setObjectName("SBGPS");
  SBGPS->setCheckable(true);
  for (QPushButton* button : {BtWrite, BtRead, SBGPS}) {
    button->setFixedSize(89, 25);
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  LbVersion = Named(new QLabel(PnLeft));
  LbVersion->setObjectName("LbVersion");
  LbVersion->setAlignment(Qt::AlignCenter);
  QFont bold = LbVersion->font();
  bold.setBold(true);
  LbVersion->setFont(bold);
  LbVersion->setMinimumHeight(20);
  column->addWidget(LbVersion);

  MmLog = Named(new QPlainTextEdit(PnLeft));
  MmLog->setObjectName("MmLog");
  MmLog->setReadOnly(true);
  MmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  MmLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmLog->setFont(LogFont());
  column->addWidget(MmLog, 1);
}

void TFmMain::CreateActionsAndMenu() {
  ActionList = Named(new QObject(this));
  ActionList->setObjectName("ActionList");
  // The captions carry their access keys ("&"); the four file and unit operations also the
  // keys a Windows program has for them, which the menu shows beside the items.
  auto action = [this](const char* name, const char* caption, QKeySequence shortcut = {}) {
    auto* created = Named(new QAction(QString::fromUtf8(caption), ActionList));
    created->setObjectName(name);
    created->setShortcut(shortcut);
    return created;
  };
  ActRead = action("ActRead", "&Прочитать", Qt::Key_F5);
  ActWrite = action("ActWrite", "&Записать", Qt::Key_F9);
  ActLoad = action("ActLoad", "&Загрузить параметры...", QKeySequence::Open);
  ActSave = action("ActSave", "&Сохранить параметры...", QKeySequence::Save);
  ActOption = action("ActOption", "&Опции...");
  ActCorrCoef = action("ActCorrCoef", "&Калибровка...");
  ActVersion = action("ActVersion", "Считать &версию...");
  ActLEDInvers = action("ActLEDInvers", "&Инвертировать красный-зеленый...");

  MainMenu = Named(new QMenuBar(this));
  MainMenu->setObjectName("MainMenu");
  setMenuBar(MainMenu);
  auto menu = [this](const char* name, const char* caption) {
    auto* created = Named(new QMenu(QString::fromUtf8(caption), MainMenu));
    created->setObjectName(name);
    created->menuAction()->setObjectName(name);
    MainMenu->addMenu(created);
    return created;
  };
  // A menu item is a component of its own that shows its action's caption and shortcut and
  // runs it; the shortcut works through the item, which the window holds.
  auto item = [this](QMenu* owner, const char* name, QAction* target) {
    auto* created = Named(new QAction(target->text(), owner));
    created->setObjectName(name);
    created->setShortcut(target->shortcut());
    owner->addAction(created);
    connect(created, &QAction::triggered, target, [target] { target->trigger(); });
    connect(target, &QAction::changed, created, [created, target] {
      created->setText(target->text());
      created->setShortcut(target->shortcut());
      created->setEnabled(target->isEnabled());
    });
    return created;
  };
  auto separator = [this](QMenu* owner, const char* name) {
    QAction* created = Named(owner->addSeparator());
    created->setObjectName(name);
  };
  QMenu* file = menu("N3", "&Файл");
  item(file, "N4", ActLoad);
  item(file, "N5", ActSave);
  item(file, "N6", ActOption);
  separator(file, "N7");
  auto* exit = Named(new QAction("В&ыход", file));
  exit->setObjectName("N1");
  file->addAction(exit);
  connect(exit, &QAction::triggered, this, [this] { Handle([this] { N1Click(); }); });

  QMenu* unit = menu("N2", "&Вестра");
  item(unit, "N8", ActRead);
  item(unit, "N9", ActWrite);
  item(unit, "N11", ActVersion);
  separator(unit, "N13");
  item(unit, "N10", ActCorrCoef);
  item(unit, "N12", ActLEDInvers);
  CreateServiceMenu();
}

void TFmMain::ConnectHandlers() {
  auto bind = [this](QAction* action, void (TFmMain::*handler)()) {
    connect(action, &QAction::triggered, this,
            [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
  };
  bind(ActRead, &TFmMain::ActReadExecute);
  bind(ActWrite, &TFmMain::ActWriteExecute);
  bind(ActLoad, &TFmMain::ActLoadExecute);
  bind(ActSave, &TFmMain::ActSaveExecute);
  bind(ActOption, &TFmMain::ActOptionExecute);
  bind(ActCorrCoef, &TFmMain::ActCorrCoefExecute);
  bind(ActVersion, &TFmMain::ActVersionExecute);
  bind(ActLEDInvers, &TFmMain::ActLEDInversExecute);

  // Buttons bound to an action show its caption and run it.
  const std::pair<QPushButton*, QAction*> bound[] = {
      {BtRead, ActRead}, {BtWrite, ActWrite}, {BtCorrCoef, ActCorrCoef}};
  for (auto [button, action] : bound) {
    button->setText(WithoutAccessKey(action->text()));
    connect(button, &QPushButton::clicked, action, [action] { action->trigger(); });
    connect(action, &QAction::changed, button, [button, action] {
      button->setText(WithoutAccessKey(action->text()));
      button->setEnabled(action->isEnabled());
    });
  }

  // `clicked` comes from the user only; a write that releases the button runs no handler.
  connect(SBGPS, &QPushButton::clicked, this, [this] { Handle([this] { SBGPSClick(); }); });
  connect(BtFindPort, &QPushButton::clicked, this,
          [this] { Handle([this] { BtFindPortClick(); }); });
  connect(BtOK, &QPushButton::clicked, SFOptions, &QDialog::accept);
  connect(CBPort, &QComboBox::currentIndexChanged, this, [this] { UpdatePortDevice(); });
  connect(Timer, &QTimer::timeout, this, [this] {
    // While the wait panel is being drawn an operation is under way; the monitor must not
    // touch the port then.
    if (OwnPerson->Exposing()) return;
    Handle([this] { TimerTimer(); });
  });
}

void TFmMain::Handle(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    ShowError(failure.what());
  } catch (...) {
    ShowError({});
  }
}

void TFmMain::FormCreate() {
  setWindowTitle(QString::fromUtf8(kCaption) + kVersion);
  RestoreStoredProperties();
  ParamList.Clear();
  PGRight->setCurrentWidget(TSUser);
  PGSIM->setCurrentWidget(TSExtSIM);
  UpdatePortDevice();
  const QString startup = StartupFileName();
  if (!startup.isEmpty()) Handle([this, &startup] { ApplyParameters(startup); });
}

void TFmMain::FormShow() {
  RestoreWindowPosition();
  RestoreStoredProperties();
  UpdateCorrCoefEnabled();
}

void TFmMain::FormDestroy() {
  if (!SettingsWrittenOnClose) {
    StoreWindowPosition();
    StoreStoredProperties();
  }
  Link.ClosePort();
  StoreStoredProperties();
  ParamList.Clear();
}

void TFmMain::N1Click() {
  close();
  QCoreApplication::quit();
}

void TFmMain::ActOptionExecute() {
  Link.ClosePort();
  UpdatePortDevice();
  SFOptions->adjustSize();
  QRect placed = SFOptions->frameGeometry();
  placed.moveCenter(frameGeometry().center());
  SFOptions->move(placed.topLeft());
  SFOptions->exec();
  StoreStoredProperties();
}

void TFmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!Shown && !event->spontaneous()) {
    Shown = true;
    KeepFittingToScreen();  // first, so that the window is centred as large as it is
    FormShow();
  }
}

void TFmMain::closeEvent(QCloseEvent* event) {
  StoreWindowPosition();
  StoreStoredProperties();
  SettingsWrittenOnClose = true;
  event->accept();
}

QObject* TFmMain::FindControl(const QString& name) const {
  for (const QPointer<QObject>& component : Components)
    if (component && component->objectName() == name) return component.data();
  return nullptr;
}

std::string TFmMain::PortName() const {
  std::string name = ToCp1251(CBPort->SelectedText());
  const auto first = std::find_if_not(name.begin(), name.end(), IsBlankOrControl);
  const auto last = std::find_if_not(name.rbegin(), name.rend(), IsBlankOrControl).base();
  return first < last ? std::string(first, last) : std::string();
}

void TFmMain::OpenSelectedPort() {
  const std::string failure = Link.OpenPort(PortName());
  if (!failure.empty()) throw EVestraError(failure);
}

bool TFmMain::MonitorOn() const { return SBGPS->isChecked(); }

void TFmMain::ReleaseMonitor() { SBGPS->setChecked(false); }

void TFmMain::ShowError(const std::string& text) {
  Person->Tell(text.empty() ? "Неизвестная ошибка" : text, "Ошибка", TPerson::TIcon::Stop);
}

bool TFmMain::Guarded(const std::function<void()>& body, const std::function<void()>& onFailure) {
  std::string text;
  bool failed = false;
  LinkFailureSeenByTick.clear();
  OperationRunning = true;
  try {
    body();
  } catch (const std::exception& failure) {
    failed = true;
    text = failure.what();
  } catch (...) {
    failed = true;
  }
  OperationRunning = false;
  std::string seenByTick = std::move(LinkFailureSeenByTick);
  LinkFailureSeenByTick.clear();
  if (!failed) return true;
  Link.ClosePort();
  Person->HideWait();
  if (onFailure) onFailure();
  if (!seenByTick.empty()) {
    // The unit went away while the person was being asked; whatever failed afterwards (the
    // next command, or "Операция прервана") only followed from that.
    text = seenByTick;
    ReleaseMonitor();
  }
  ShowError(text);
  return false;
}

bool TFmMain::ShowOutcome(const TOperationResult& result) {
  std::string seenByTick = std::move(LinkFailureSeenByTick);
  LinkFailureSeenByTick.clear();
  if (result.Done()) return true;
  std::string text = *result.Failure;
  if (!seenByTick.empty()) {
    // The unit went away while the person was being asked; whatever failed afterwards (the
    // next command, or "Операция прервана") only followed from that.
    text = seenByTick;
    ReleaseMonitor();
  }
  ShowError(text);
  return false;
}

bool TFmMain::RunOperation(const std::string& waitText, const std::function<void()>& body) {
  return Guarded([&] {
    Person->ShowWait(waitText);
    OpenSelectedPort();
    body();
    if (!MonitorOn()) Link.ClosePort();
    Person->HideWait();
  });
}
