// The main window and the owner of everything.
//
// `TFmMain` holds the controls of the form model (made from the control table), the session on
// the unit (`Session`: the link `Link` with `PortHandle`, `RxBuffer` and `RxCount`, and the
// operations), the parameter set `ParamList`, the menu, the actions, the wait and options panels,
// the file dialogs and the 100 ms timer. The configuration lives in the controls; the handlers
// gather their values, call the engine (params/, transfer/, service/) and show what came back,
// and the session's values are bound to the controls while an operation runs, so that a read
// shows each value as it arrives:
//   FmMain.cpp, FormModel.cpp, OptionsPanel.cpp, ...   construction, start-up, shut-down, frame
//   Interlocks.cpp        the interlock rules run on the controls' values
//   ParameterActions.cpp  gathering, applying, "Сохранить"/"Загрузить" (FileActions.cpp)
//   TransferActions.cpp   `ActReadExecute`, `ActWriteExecute`, `ActCompareExecute`
//   ServiceActions.cpp    `BtFindPortClick`, `ActVersionExecute`, `ActCorrCoefExecute`,
//                         `ActLEDInversExecute`, `TimerTimer`, `SBGPSClick`
// What an operation needs from a person goes through `Person` (the window's own Qt dialogs
// unless a test puts a scripted stand-in there with `SetPerson`).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form/Controls.h"
#include "link/Link.h"
#include "link/Person.h"
#include "params/ParamList.h"
#include "params/StartupFile.h"
#include "transfer/UnitSession.h"

class QAction;
class QDialog;
class QFileDialog;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;
class QFrame;
class QScrollArea;
class QGroupBox;
class QVBoxLayout;
class QActionGroup;
class TQtPerson;

class TFmMain : public QMainWindow {
  Q_OBJECT
 public:
  // How a face uses the settings store: the window reads and writes it; the command line only
  // reads it, so that a script never changes the window's options.
  enum class TSettingsUse { ReadWrite, ReadOnly };

  // The client area and the pages beside the left panel, where the screen holds them
  // (form/ScreenFit.cpp).
  static constexpr int kClientWidth = 778;
  static constexpr int kClientHeight = 703;
  static constexpr int kPagesWidth = 464;

  explicit TFmMain(QWidget* parent = nullptr);
  // A form for another face, never shown: it speaks to `person` from its first moment (a failure
  // of the start-up file included) and uses the settings store as `settings` says.
  TFmMain(TPerson& person, TSettingsUse settings);
  ~TFmMain() override;  // runs FormDestroy

  // --- Form model: page "Основные" ---
  QTabWidget* PGRight = nullptr;
  QWidget* TSUser = nullptr;
  QWidget* TSSystem = nullptr;
  TComboBox* CBGPS = nullptr;
  TComboBox* CBCellInfo = nullptr;
  QTabWidget* PCSMS = nullptr;
  QWidget* TSPhone1 = nullptr;
  QWidget* TSPhone2 = nullptr;
  QWidget* TSPhone3 = nullptr;
  TEdit* EdPhone1 = nullptr;
  TEdit* EdPhone2 = nullptr;
  TEdit* EdPhone3 = nullptr;
  TComboBox* CBPhone1 = nullptr;
  TComboBox* CBPhone2 = nullptr;
  TComboBox* CBPhone3 = nullptr;
  TComboBox* CBControlSMS = nullptr;
  TEdit* EdSMSPwd = nullptr;
  TSpinEdit* SECloseDelay = nullptr;
  TEdit* EdOpenPwd = nullptr;
  TCheckBox* CBOpClsSMS = nullptr;
  TSpinEdit* SEDelay = nullptr;
  TComboBox* CBPIRMode = nullptr;
  TComboBox* CBVibroMode = nullptr;
  TSpinEdit* SEVibroSens = nullptr;
  TComboBox* CBBothAlarm = nullptr;
  TComboBox* CBChangeCoord = nullptr;
  TCheckBox* CBLowBatMsg = nullptr;
  TComboBox* CBSleepMode = nullptr;
  TSpinEdit* SESleep = nullptr;
  TCheckBox* CBSleepMsg = nullptr;
  TCheckBox* CBSleepKeyb = nullptr;
  TComboBox* CBRingMode = nullptr;
  TSpinEdit* SERingDuration = nullptr;
  TSpinEdit* SERingLevel = nullptr;

  // --- Form model: page "Системные" ---
  QWidget* PnSystMiddle = nullptr;
  QTabWidget* PGSIM = nullptr;
  QWidget* TSIntSIM = nullptr;
  QWidget* TSExtSIM = nullptr;
  TEdit* EdLoginI = nullptr;
  TEdit* EdPwdI = nullptr;
  TEdit* EdAPNI = nullptr;
  TEdit* EdPINI = nullptr;
  TEdit* EdLoginE = nullptr;
  TEdit* EdPwdE = nullptr;
  TEdit* EdAPNE = nullptr;
  TEdit* EdPINE = nullptr;
  TComboBox* CBPeriod = nullptr;
  TComboBox* CBSelSIMMode = nullptr;
  TSpinEdit* SEBrightness = nullptr;
  TSpinEdit* SETimeZone = nullptr;
  QTabWidget* PCServers = nullptr;
  QWidget* TSServer1 = nullptr;
  QWidget* TSServer2 = nullptr;
  QWidget* TSServer3 = nullptr;
  TEdit* EdServer1 = nullptr;
  TEdit* EdServer2 = nullptr;
  TEdit* EdServer3 = nullptr;
  TCheckBox* CBServer1 = nullptr;
  TCheckBox* CBServer2 = nullptr;
  TCheckBox* CBServer3 = nullptr;
  TCheckBox* CBSendLinkFault = nullptr;
  TCheckBox* CBSetTime = nullptr;
  TCheckBox* CBLoadEfemerids = nullptr;
  TCheckBox* CBUseAGPS = nullptr;
  QPushButton* BtCorrCoef = nullptr;
  TSpinEdit* SECorrCoef = nullptr;
  TEdit* EdRqBalance = nullptr;
  TSpinEdit* SELimitBal = nullptr;
  TSpinEdit* SEPeriodBal = nullptr;

  // --- Left panel ---
  QWidget* PnLeft = nullptr;
  QPushButton* BtWrite = nullptr;
  QPushButton* BtRead = nullptr;
  QPushButton* SBGPS = nullptr;  // checkable: down = the receive monitor is on
  QLabel* LbVersion = nullptr;
  QPlainTextEdit* MmLog = nullptr;

  // --- Options panel ---
  QDialog* SFOptions = nullptr;
  TComboBox* CBPort = nullptr;
  QPushButton* BtFindPort = nullptr;
  TCheckBox* CBManualCorrCoef = nullptr;
  QPushButton* BtOK = nullptr;

  // --- Wait panel ---
  QWidget* SFWait = nullptr;
  QLabel* STWait = nullptr;

  // --- Actions and timer ---
  QAction* ActRead = nullptr;
  QAction* ActWrite = nullptr;
  QAction* ActLoad = nullptr;
  QAction* ActSave = nullptr;
  QAction* ActOption = nullptr;
  QAction* ActCorrCoef = nullptr;
  QAction* ActVersion = nullptr;
  QAction* ActLEDInvers = nullptr;
  QAction* ActCompare = nullptr;  // menu "Сервис"
  QAction* CBVerify = nullptr;    // checkable: a write reads back what it sent
  QAction* ActSaveLog = nullptr;
  QTimer* Timer = nullptr;

  // --- Owned parts ---
  TUnitSession Session;  // the link, the person and the values of an operation
  TLink& Link = Session.Link;
  TParamList ParamList;
  TPerson* Person;                  // never null
  void SetPerson(TPerson* person);  // also the link's; nullptr restores the window's own dialogs

  // --- Start-up and shut-down (form/) ---
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void N1Click();
  void ActOptionExecute();
  // The start-up file to apply (params/StartupFile.h).
  QString StartupFileName() const { return TStartupFile::Name(); }
  static inline QString& SystemStartupFolder = TStartupFile::SystemFolder;
  static inline QString& InstalledPrefix = TStartupFile::InstalledPrefix;

  // --- Interlocks (form/) ---
  void UpdateCorrCoefEnabled();
  void CBServerClick(QObject* sender = nullptr);
  void CBSensorModeChange(QObject* sender = nullptr);
  void CBSleepModeCloseUp(QObject* sender = nullptr);

  // --- Lookup (form/): the first child of that exact name, in creation order ---
  QObject* FindControl(const QString& name) const;
  template <class T>
  T* FindControlAs(const QString& name) const {
    return qobject_cast<T*>(FindControl(name));
  }

  // --- Operation frame (form/) ---
  // The text of `CBPort` with characters of codes 0..32 removed at both ends.
  std::string PortName() const;
  // OpenPort(PortName()); raises its error text.
  void OpenSelectedPort();
  // The receive monitor is on (`SBGPS` down).
  bool MonitorOn() const;
  // Puts `SBGPS` up without running `SBGPSClick`.
  void ReleaseMonitor();
  // The failure path's box: caption "Ошибка", stop icon; "Неизвестная ошибка" without a text.
  void ShowError(const std::string& text);
  // Runs `body` as an operation that owns the link; on a failure escaping it: closes the port,
  // hides the wait panel, runs `onFailure` (may be empty), then shows the failure with
  // `ShowError`. When a tick of the monitor found the link broken meanwhile, that is the
  // failure shown, and the monitor is switched off as after any unplug. False when it failed.
  bool Guarded(const std::function<void()>& body, const std::function<void()>& onFailure = {});
  // The whole frame of a device operation: wait panel with `waitText`, `OpenSelectedPort`,
  // `body`, the port closed unless the monitor is on, panel hidden; failures as `Guarded`.
  bool RunOperation(const std::string& waitText, const std::function<void()>& body);

  // --- The controls as values (form/ParameterActions.cpp) ---
  TFormValues ControlValues() const;
  void PutControlValue(std::size_t index, const TControlValue& value);
  // The session's values become the controls' and are put back into them as they change; the
  // session's options follow the window's.
  void BindSessionValues();
  // Runs `change` on the controls' values, each change put back into its control as it is made.
  template <class TChange>
  void OnControlValues(TChange change) {
    TFormValues values = ControlValues();
    values.Changed = [this, &values](std::size_t index) { PutControlValue(index, values[index]); };
    change(values);
  }

  // --- Encodings ---
  void DecodeVibroMode(int value);
  int EncodeVibroMode() const;
  void DecodeSleepMode(int value);
  int EncodeSleepMode() const;

  // --- Parameter set ---
  bool GatherParameters();
  // The same checks, all of them: `ParamList` always gets its 46 lines (a value that fails a
  // check as the form holds it), and the texts of every failed check come back in check order,
  // none when the form passes. Shows nothing.
  std::vector<std::string> GatherAllParameters();
  // The same into `into`, leaving `ParamList` as it is.
  std::vector<std::string> GatherAllParameters(TParamList& into);
  void ApplyParameters(const QString& fileName);
  // As ApplyParameters, with the lines of a file already read (Windows-1251).
  void ApplyParameterLines(std::vector<std::string> lines);
  void ActSaveExecute();
  void ActLoadExecute();
  QFileDialog* SaveDialog = nullptr;
  QFileDialog* OpenDialog = nullptr;
  QFileDialog* LogDialog = nullptr;  // "Сохранить журнал"
  // Where the file dialog named `dialogName` opens first in a run: the folder last chosen in
  // it, kept in the settings store, else the Documents folder (form/Settings.cpp).
  QString StartFolder(const QString& dialogName) const;
  void StoreChosenFolder(const QString& dialogName, const QString& folder);

  // --- Transfer ---
  void ActReadExecute();
  void ActWriteExecute();

  // --- Comparison and verification: the session's own (transfer/UnitSession.h) ---
  bool& VerifyAfterWrite = Session.VerifyAfterWrite;
  std::chrono::milliseconds& SettleAfterSave = Session.SettleAfterSave;
  // What the last write sent (cleared when a write starts).
  std::vector<TCodeValue> LastWrite;
  // The differences the last comparison or verification found; empty optional when it did not
  // run to its end (a failure, a failed check, not asked for).
  std::optional<std::vector<TCodeDifference>> LastDifferences;
  // Gathers the form (a failed check reads nothing), reads back every code a write would send
  // now and shows the differences; the controls do not change.
  void ActCompareExecute();
  // "Сохранить журнал...": the text of `MmLog` into a file chosen in `LogDialog`, UTF-8, one
  // line per log line ended as this system's Notepad wants it (form/LogFile.h), replacing the
  // file only once all of it is written (form/).
  void ActSaveLogExecute();

  // --- Service ---
  void BtFindPortClick();
  void ActVersionExecute();
  void ActCorrCoefExecute();
  void ActLEDInversExecute();
  void TimerTimer();
  void SBGPSClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class TQtPerson;
  TFmMain(QWidget* parent, TPerson* person, TSettingsUse settings);
  void PutParametersIntoControls();  // ParamList into the controls, in the applying order
  void CreateFormModel();            // both configuration pages, in table order
  void CreatePositioningAndPhones(QVBoxLayout* page);
  void CreateRequestAndArming(QVBoxLayout* page);
  void CreateAlarms(QVBoxLayout* page);
  void CreateSleepAndRing(QVBoxLayout* page);
  void CreateSimAndReporting(QVBoxLayout* page);
  void CreateServers(QVBoxLayout* page);
  void CreateOptionsAndBalance(QVBoxLayout* page);
  template <class T>
  T* Make(std::string_view name, QWidget* parent);  // a control from its row
  QGroupBox* MakeGroup(const char* objectName, std::string_view member, QWidget* parent);
  QWidget* MakeTab(QTabWidget* tabs, const QString& objectName, std::string_view member);
  // A scroll area filling `page`, and the widget inside it that holds the page's controls.
  QWidget* ScrollingPage(QWidget* page);
  // The client area as high as the screen's free area allows, up to its own 703; once now and
  // again whenever the window moves or is exposed.
  void FitToScreen();
  void KeepFittingToScreen();
  // A window lowered to fit its screen is moved up into the screen's free area, where a stored
  // position or the system put it lower.
  void KeepLoweredWindowInside();
  void CreateLeftPanel();
  void CreateActionsAndMenu();
  void CreateServiceMenu();  // form/ServiceMenu.cpp
  void CreateOptionsPanel();
  void CreateWaitPanel();
  void CreateFileDialogs();
  void BindInterlocks();
  void ConnectHandlers();
  template <class T>
  T* Named(T* component) {  // registers a component for FindControl, in creation order
    Components.emplace_back(component);
    return component;
  }
  void RestoreStoredProperties();
  void StoreStoredProperties();
  void StoreWindowPosition();
  void RestoreWindowPosition();
  // Runs a handler; a failure escaping it is shown as an error box instead of crossing Qt.
  void Handle(const std::function<void()>& handler);
  void UpdatePortDevice();
  // Runs a session operation as the frame of an operation that owns the link, then shows its
  // failure as `Guarded` does; false when it failed.
  bool ShowOutcome(const TOperationResult& result);
  template <class TOperation>
  auto RunSession(TOperation operation) {
    BindSessionValues();
    LinkFailureSeenByTick.clear();
    OperationRunning = true;
    auto result = operation();
    OperationRunning = false;
    Session.Values.Changed = nullptr;
    return result;
  }

  std::vector<QPointer<QObject>> Components;
  std::vector<QScrollArea*> ScrollingPages;
  QObject* ActionList = nullptr;
  QMenuBar* MainMenu = nullptr;
  QLabel* LbPortDevice = nullptr;
  std::unique_ptr<TQtPerson> OwnPerson;
  TSettingsUse SettingsUse = TSettingsUse::ReadWrite;
  bool Shown = false;
  bool SettingsWrittenOnClose = false;
  // True while `Guarded` runs its body: the link belongs to the operation then, and a tick
  // (which gets in only while the operation asks a question) may show what arrives but never
  // closes the link or reports a failure itself.
  bool OperationRunning = false;
  // The first failure a tick met on the link under the running operation; the operation's
  // failure box shows it, since it is the cause of whatever failed after it.
  std::string LinkFailureSeenByTick;
};

// The single instance, set by the constructor and cleared by the destructor.
extern TFmMain* FmMain;
