// The operator's window of a batch station: a face of the station's engine, not a second one.
// It runs the station as its child, `vestra-cli provision TEMPLATE --units UNITS OPTIONS --json`
// as the configuration file gives it, draws each slot from the station's events, hands scanned
// labels to the station's standard input, and stops it "after the units in hand" as the system
// allows (operator/StationStop.h).
// A unit handled here is so recorded exactly as `vestra-cli provision` records it. The figures
// come from the record itself (operator/FiguresPanel.h).
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QProcess>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>

#include "operator/Sounds.h"
#include "operator/StationConfig.h"
#include "operator/StationStop.h"
#include "operator/SupervisorLock.h"
#include "station/StationEvents.h"

class QAction;
class QLabel;
class QLineEdit;
class TFiguresPanel;
struct TAttemptRecord;
class TStationStore;
class TTileGrid;

class TStationWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TStationWindow(QWidget* parent = nullptr);
  ~TStationWindow() override;

  // Opens the configuration and starts its station; false (said in the window) when it cannot
  // be read.
  bool Open(const QString& path);
  void Start();
  // Stops the station after the units in hand.
  void Stop();
  bool Running() const;
  // Any slot writing or verifying a unit, or recording one.
  bool UnitsInHand() const;
  // A label as the scanner types it, with Enter.
  void Scan(const QString& label);
  // Starts the shift anew: the figures count from now (the record stays).
  void NewShift();
  // Counts the figures from the record again.
  void RefreshFigures();
  // Saves the record as `vestra-cli report` prints it; false with the reason said.
  bool SaveReport(const QString& path, bool json);

  TTileGrid* Grid() const { return Tiles; }
  TFiguresPanel* Figures() const { return Panel; }
  QString StatusText() const;
  QString RefusalText() const;
  QDateTime ShiftStart() const { return Shift; }
  // Where vestra-cli is taken from: beside this program, else from PATH (on Windows
  // vestra-cli.exe).
  static QString CliProgram();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TStationConfig Config;
  TSupervisorLock Lock;
  TSounds Sounds;
  QProcess Station;
  TStationStop StationStop{Station};
  QByteArray OutHeld, ErrHeld;
  std::unique_ptr<TStationStore> Store;
  QDateTime Shift;
  QTimer Tick, FiguresTick;
  int ChosenSlot = 0;                // the tile clicked before a scan
  bool Closing = false;              // the window closes once the station has ended
  std::map<int, std::string> Ports;  // of the slots by number, for the record's station names

  TTileGrid* Tiles;
  TFiguresPanel* Panel;
  QLabel *Heading, *Refusal, *Notes, *LockState;
  QLineEdit* ScanField;
  QAction *StartAction, *StopAction, *SoundAction;

  void BuildMenus();
  void ReadOutput();
  void ReadErrors();
  void Take(const TStationEvent& event);
  void Ended(int code, QProcess::ExitStatus status);
  void Choose(int slot);
  void ShowRefusal(const QString& text);
  void OpenDialog();
  void ReportDialog(bool json);
  bool BelongsHere(const TAttemptRecord& attempt) const;
  QString SettingsKey(const char* name) const;
};
