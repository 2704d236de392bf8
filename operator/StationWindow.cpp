#include "operator/StationWindow.h"

#include <signal.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <QVBoxLayout>
#include <stdexcept>

#include "link/VestraError.h"
#include "operator/FiguresPanel.h"
#include "operator/Tiles.h"
#include "params/Judgement.h"
#include "station/Report.h"
#include "station/StationStore.h"

namespace {

// How often the figures are counted again without a unit finishing: the units per hour move on
// with the clock.
constexpr int kFiguresPace = 30000;
// A tab never appears in a label: the station reads "N<TAB>label" as a label for slot N.
constexpr char kSlotMark = '\t';

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TStationWindow::TStationWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Станция Вестра");
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  Heading = new QLabel(central);
  Heading->setTextFormat(Qt::PlainText);
  Heading->setWordWrap(true);
  layout->addWidget(Heading);
  auto* scanRow = new QHBoxLayout;
  auto* scanCaption = new QLabel("Метка:", central);
  ScanField = new QLineEdit(central);
  ScanField->setPlaceholderText("отсканируйте метку блока");
  QFont big = ScanField->font();
  big.setPointSize(big.pointSize() + 6);
  ScanField->setFont(big);
  scanCaption->setFont(big);
  scanRow->addWidget(scanCaption);
  scanRow->addWidget(ScanField, 1);
  layout->addLayout(scanRow);
  Refusal = new QLabel(central);
  Refusal->setTextFormat(Qt::PlainText);
  Refusal->setWordWrap(true);
  Refusal->setFont(big);
  Refusal->setStyleSheet("background: #f08c8c; color: #4d0000; font-weight: bold; padding: 6px;");
  Refusal->hide();
  layout->addWidget(Refusal);
  auto* split = new QSplitter(central);
  Tiles = new TTileGrid(split);
  Panel = new TFiguresPanel(split);
  split->addWidget(Tiles);
  split->addWidget(Panel);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  layout->addWidget(split, 1);
  setCentralWidget(central);
  Notes = new QLabel(this);
  Notes->setTextFormat(Qt::PlainText);
  LockState = new QLabel(this);
  statusBar()->addWidget(Notes, 1);
  statusBar()->addPermanentWidget(LockState);
  BuildMenus();

  Panel->Belongs = [this](const TAttemptRecord& attempt) { return BelongsHere(attempt); };
  connect(ScanField, &QLineEdit::returnPressed, this, [this] {
    Scan(ScanField->text());
    ScanField->clear();
  });
  connect(Tiles, &TTileGrid::Clicked, this, &TStationWindow::Choose);
  connect(&Station, &QProcess::readyReadStandardOutput, this, &TStationWindow::ReadOutput);
  connect(&Station, &QProcess::readyReadStandardError, this, &TStationWindow::ReadErrors);
  connect(&Station, &QProcess::finished, this, &TStationWindow::Ended);
  connect(&Station, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
      Notes->setText("Не удалось запустить " + CliProgram() + ": " + Station.errorString());
  });
  connect(&Tick, &QTimer::timeout, this, [this] {
    for (TSlotTile* tile : Tiles->Tiles()) tile->Refresh();
  });
  Tick.start(1000);
  connect(&FiguresTick, &QTimer::timeout, this, &TStationWindow::RefreshFigures);
  FiguresTick.start(kFiguresPace);
}

TStationWindow::~TStationWindow() {
  // The station is never left behind the window: it finishes its units when told to stop.
  if (Running()) {
    StationStop.Stop();
    Station.waitForFinished(-1);
  }
}

void TStationWindow::BuildMenus() {
  QMenu* station = menuBar()->addMenu("Станция");
  station->addAction("Открыть конфигурацию…", QKeySequence::Open, this,
                     &TStationWindow::OpenDialog);
  StartAction = station->addAction("Пуск", this, &TStationWindow::Start);
  StopAction = station->addAction("Остановить после блоков в работе", this, &TStationWindow::Stop);
  station->addSeparator();
  station->addAction("Новая смена", this, [this] {
    if (Lock.Allow(this, "Новая смена")) NewShift();
  });
  station->addSeparator();
  station->addAction("Выход", QKeySequence::Quit, this, &QWidget::close);
  QMenu* report = menuBar()->addMenu("Отчёт");
  report->addAction("Сохранить отчёт CSV…", this, [this] { ReportDialog(false); });
  report->addAction("Сохранить отчёт JSON…", this, [this] { ReportDialog(true); });
  QMenu* settings = menuBar()->addMenu("Настройки");
  SoundAction = settings->addAction("Звук");
  SoundAction->setCheckable(true);
  Sounds.On = QSettings().value("Sound", true).toBool();
  SoundAction->setChecked(Sounds.On);
  connect(SoundAction, &QAction::toggled, this, [this](bool on) {
    Sounds.On = on;
    QSettings().setValue("Sound", on);
  });
  StopAction->setEnabled(false);
}

QString TStationWindow::CliProgram() {
  QString found =
      QStandardPaths::findExecutable("vestra-cli", {QCoreApplication::applicationDirPath()});
  if (found.isEmpty()) found = QStandardPaths::findExecutable("vestra-cli");
  return found.isEmpty() ? QString("vestra-cli") : found;
}

bool TStationWindow::Open(const QString& path) {
  try {
    Config = TStationConfig::Read(path);
  } catch (const EVestraError& error) {
    Notes->setText(QString::fromStdString(error.what()));
    return false;
  }
  Lock = TSupervisorLock(Config.Supervisor);
  LockState->setText(Lock.Locked() ? "Пароль старшего смены задан"
                                   : "Пароль старшего смены не задан: блокировки нет");
  setWindowTitle("Станция Вестра — " + QFileInfo(path).fileName());
  Store.reset();
  Shift = QSettings().value(SettingsKey("ShiftStart")).toDateTime();
  if (!Shift.isValid()) NewShift();
  ScanField->setEnabled(Config.Scanning());
  ScanField->setFocus();
  Start();
  return true;
}

QString TStationWindow::SettingsKey(const char* name) const {
  // One shift per configuration: the file's path, with the separators QSettings would nest.
  QString file = Config.Path;
  file.replace('/', '|');
  return "Stations/" + file + "/" + name;
}

void TStationWindow::Start() {
  if (Running() || Config.Path.isEmpty()) return;
  Tiles->Clear();
  Ports.clear();
  OutHeld.clear();
  ErrHeld.clear();
  Refusal->hide();
  Heading->setText("Шаблон: " + Config.Template + "   Таблица: " + Config.Units);
  Station.setProgram(CliProgram());
  Station.setArguments(Config.Arguments());
  Station.setWorkingDirectory(Config.Folder());
  try {
    StationStop.Start();
  } catch (const std::runtime_error& error) {
    Notes->setText("Не удалось запустить " + CliProgram() + ": " + error.what());
    return;
  }
  StartAction->setEnabled(false);
  StopAction->setEnabled(true);
  Notes->setText("Станция запущена");
  RefreshFigures();
}

void TStationWindow::Stop() {
  if (!Running()) return;
  StationStop.Stop();
  Notes->setText("Остановка: каждый слот заканчивает свой блок...");
}

bool TStationWindow::Running() const { return Station.state() != QProcess::NotRunning; }

bool TStationWindow::UnitsInHand() const {
  for (const TSlotTile* tile : Tiles->Tiles()) {
    const TSlotPhase phase = tile->State().Phase;
    if (phase == TSlotPhase::Writing || phase == TSlotPhase::Verifying ||
        phase == TSlotPhase::Recording)
      return true;
  }
  return false;
}

void TStationWindow::ReadOutput() {
  OutHeld += Station.readAllStandardOutput();
  for (qsizetype end; (end = OutHeld.indexOf('\n')) >= 0;) {
    const QByteArray line = OutHeld.left(end);
    OutHeld.remove(0, end + 1);
    if (auto event = ParseEvent(line)) Take(*event);
  }
}

void TStationWindow::ReadErrors() {
  ErrHeld += Station.readAllStandardError();
  for (qsizetype end; (end = ErrHeld.indexOf('\n')) >= 0;) {
    const QString line = QString::fromUtf8(ErrHeld.left(end)).trimmed();
    ErrHeld.remove(0, end + 1);
    if (!line.isEmpty()) Notes->setText(Q(ShownEscaped(line.toStdString())));
  }
}

void TStationWindow::Take(const TStationEvent& event) {
  switch (event.Kind) {
    case TEventKind::Started:
      Ports[event.Slot] = event.Port;
      Heading->setText("Шаблон: " + Q(event.Template) + "   Таблица: " + Q(event.Table) +
                       "   База: " + Q(event.Db) + "   Порты: " + [this] {
                         QStringList ports;
                         for (const auto& [slot, port] : Ports) ports << Q(port);
                         return ports.join(", ");
                       }());
      Tiles->Tile(event.Slot, event.Port, Config.Scanning());
      if (!Store) RefreshFigures();
      return;
    case TEventKind::Refused:
      ShowRefusal("Метка «" + Q(event.Label) + "» отклонена: " + Q(event.Detail));
      return;
    case TEventKind::Scanned:
      Refusal->hide();
      Notes->setText("Метка «" + Q(event.Label) + "» принята" +
                     (event.Slot > 0 ? QString(" для слота %1").arg(event.Slot)
                                     : QString(" — подключите блок")));
      if (event.Slot <= 0) return;
      break;
    case TEventKind::Retry:
      for (TSlotTile* tile : Tiles->Tiles())
        tile->SetNotice(QString("база недоступна, повтор через %1 с").arg(event.RetryS));
      break;
    case TEventKind::Claimed:
    case TEventKind::Finished:
      // The record took something: the database is there again.
      for (TSlotTile* tile : Tiles->Tiles()) tile->SetNotice({});
      break;
    case TEventKind::Error:
      Notes->setText(QString("Слот %1: ").arg(event.Slot) + Q(event.Detail));
      break;
    default:
      break;
  }
  Tiles->Tile(event.Slot, event.Port, Config.Scanning()).Apply(event);
  if (event.Kind == TEventKind::Finished) {
    if (event.Result == "ok") Sounds.Play(TSound::Done);
    if (event.Result != "ok" && event.Result != "already") Sounds.Play(TSound::Error);
    RefreshFigures();
  }
}

void TStationWindow::Ended(int code, QProcess::ExitStatus status) {
  StartAction->setEnabled(true);
  StopAction->setEnabled(false);
  ReadOutput();
  ReadErrors();
  const bool stopped = status == QProcess::NormalExit && code == 128 + SIGTERM;
  Notes->setText(stopped ? QString("Станция остановлена после блоков в работе")
                 : status == QProcess::NormalExit
                     ? QString("Станция завершилась с кодом %1").arg(code) + ": " + Notes->text()
                     : QString("Станция аварийно завершилась"));
  RefreshFigures();
  if (Closing) close();
}

void TStationWindow::Scan(const QString& label) {
  const std::string text = label.toStdString();
  if (text.empty()) return;
  // Nothing from outside goes on with a control character in it, a tab included.
  if (auto code = RefusedCharacterInUtf8(text))
    return ShowRefusal("Метка «" + Q(ShownEscaped(text)) + "» отклонена: в метке " +
                       Q(RefusedReason(*code)));
  if (!Running()) return ShowRefusal("Метка «" + label + "» отклонена: станция не запущена");
  if (!Config.Scanning())
    return ShowRefusal("Метка «" + label + "» отклонена: станция работает без сканера (--scan)");
  QByteArray line = label.toUtf8() + '\n';
  if (ChosenSlot > 0) line.prepend(QByteArray::number(ChosenSlot) + kSlotMark);
  Station.write(line);
  Choose(0);
}

void TStationWindow::Choose(int slot) {
  ChosenSlot = slot == ChosenSlot ? 0 : slot;
  for (TSlotTile* tile : Tiles->Tiles()) tile->SetSelected(tile->Number() == ChosenSlot);
  if (ChosenSlot > 0) Notes->setText(QString("Следующая метка — для слота %1").arg(ChosenSlot));
  ScanField->setFocus();
}

void TStationWindow::ShowRefusal(const QString& text) {
  Refusal->setText(text);
  Refusal->show();
  Sounds.Play(TSound::Error);
}

QString TStationWindow::StatusText() const { return Notes->text(); }
QString TStationWindow::RefusalText() const { return Refusal->isVisible() ? Refusal->text() : ""; }

void TStationWindow::NewShift() {
  Shift = QDateTime::currentDateTime();
  QSettings().setValue(SettingsKey("ShiftStart"), Shift);
  RefreshFigures();
}

bool TStationWindow::BelongsHere(const TAttemptRecord& attempt) const {
  const std::string named = Config.Option("--station").toStdString();
  // A named station's slots are recorded as "NAME/N:PORT"; an unnamed one's as "HOST:PORT".
  if (!named.empty()) return attempt.Station == named || attempt.Station.starts_with(named + "/");
  const std::string host = QSysInfo::machineHostName().toStdString() + ":";
  for (const auto& [slot, port] : Ports)
    if (attempt.Station == host + port) return true;
  return false;
}

void TStationWindow::RefreshFigures() {
  if (Config.Path.isEmpty()) return;
  try {
    const QString db = Config.Db();
    // The station makes its database; the window only reads one that is there.
    if (!Store && (TStationStore::IsPostgres(db) || QFileInfo::exists(db)))
      Store = std::make_unique<TStationStore>(db);
    if (!Store) return;
    const std::vector<TAttemptRecord> attempts = Store->Attempts();
    Panel->Show(attempts, Shift, Store->Counts().Left);
  } catch (const EVestraError& error) {
    Panel->ShowUnavailable(QString("база недоступна: ") + error.what());
  }
}

bool TStationWindow::SaveReport(const QString& path, bool json) {
  try {
    if (!Store) RefreshFigures();
    if (!Store) throw EVestraError("Нет базы данных станции " + Config.Db().toStdString());
    QByteArray text;
    for (const std::string& line :
         ReportLines(Store->Attempts(), json ? TReportFormat::Json : TReportFormat::Csv))
      text += QByteArray::fromStdString(line) + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
      throw EVestraError("Не удалось записать " + path.toStdString() + ": " +
                         file.errorString().toStdString());
    Notes->setText("Отчёт сохранён: " + path);
    return true;
  } catch (const EVestraError& error) {
    Notes->setText(error.what());
    return false;
  }
}

void TStationWindow::OpenDialog() {
  if (!Lock.Allow(this, "Открыть другую конфигурацию")) return;
  const QString path = QFileDialog::getOpenFileName(this, "Конфигурация станции", Config.Folder(),
                                                    "Конфигурация станции (*.conf)");
  if (path.isEmpty()) return;
  if (!Running()) {
    Open(path);
    return;
  }
  // The station in hand finishes its units first; the other one starts once it has ended.
  connect(
      &Station, &QProcess::finished, this, [this, path] { Open(path); }, Qt::SingleShotConnection);
  Stop();
}

void TStationWindow::ReportDialog(bool json) {
  const QString path = QFileDialog::getSaveFileName(
      this, "Отчёт станции", Config.Folder() + (json ? "/report.jsonl" : "/report.csv"),
      json ? "JSON Lines (*.jsonl)" : "CSV (*.csv)");
  if (!path.isEmpty()) SaveReport(path, json);
}

void TStationWindow::closeEvent(QCloseEvent* event) {
  if (!Running()) return event->accept();
  event->ignore();
  if (Closing) return;
  if (UnitsInHand() && !Lock.Allow(this, "Выход, пока блоки в работе")) return;
  // Every slot finishes its unit; the window closes when the station has ended.
  Closing = true;
  Stop();
}
