// The service actions of the window: port discovery, version, calibration, LED inversion and the
// receive monitor, each over the session of service/.
#include <QPushButton>
#include <string>
#include <vector>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "link/Text.h"
#include "service/Service.h"

void TFmMain::BtFindPortClick() {
  std::vector<std::string> ports;
  for (int i = 0; i < CBPort->count(); ++i) ports.push_back(ToCp1251(CBPort->itemText(i)));
  const TFoundPort found = FindPort(Session, ports);
  if (!found.Index) {
    Person->Tell("Вестра не найдена", "Предупреждение", TPerson::TIcon::Warning);
    return;
  }
  CBPort->SetItemIndex(static_cast<int>(*found.Index));
  Person->Tell("Найдена Вестра версии " + Cp1251ToUtf8(found.Version) + " на " +
                   CBPort->SelectedText().toStdString(),
               "Вестра", TPerson::TIcon::Information);
}

void TFmMain::ActVersionExecute() {
  const TOperationResult read =
      RunSession([this] { return ReadFirmwareVersion(Session, PortName()); });
  if (ShowOutcome(read))
    Person->Tell("Версия " + Cp1251ToUtf8(read.Version), "Вестра", TPerson::TIcon::Information);
}

void TFmMain::ActCorrCoefExecute() {
  ShowOutcome(RunSession([this] { return Calibrate(Session, PortName()); }));
}

void TFmMain::ActLEDInversExecute() {
  ShowOutcome(RunSession([this] { return InvertLeds(Session, PortName()); }));
}

void TFmMain::TimerTimer() {
  if (!MonitorOn()) return;
  if (OperationRunning && !LinkFailureSeenByTick.empty()) return;
  const TMonitorTick tick = MonitorTick(Session, PortName(), OperationRunning);
  if (!tick.Failure) return;
  if (OperationRunning) {
    LinkFailureSeenByTick = *tick.Failure;
    return;
  }
  // The device went away: say so once and stop, instead of failing again every 100 ms. The
  // monitor is off before the box opens, since ticks go on running under a modal box.
  ReleaseMonitor();
  Link.ClosePort();
  ShowError(*tick.Failure);
}

void TFmMain::SBGPSClick() {
  if (!MonitorOn()) Link.ClosePort();
}
