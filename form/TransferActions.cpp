// "Прочитать", "Записать" and "Сравнить с Вестрой...": gather, call the session, show.
#include <QPlainTextEdit>

#include "form/FmMain.h"
#include "transfer/Differences.h"

void TFmMain::ActReadExecute() {
  MmLog->clear();
  // Each value reaches its control as it arrives; a failure leaves what was read.
  ShowOutcome(RunSession([this] { return Session.ReadConfiguration(PortName()); }));
}

void TFmMain::ActWriteExecute() {
  MmLog->clear();
  LastWrite.clear();
  LastDifferences.reset();
  // Every write closes the port at its end, the monitor's too.
  if (!GatherParameters()) {  // it has told the person already
    Link.ClosePort();
    return;
  }
  ReleaseMonitor();
  bool done = true;
  const TWriteReport report = RunSession([this, &done] {
    return Session.WriteConfiguration(PortName(), ParamList, [this, &done](const TWriteReport& r) {
      OperationRunning = false;
      done = ShowOutcome(r);  // while the port is still open
    });
  });
  LastWrite = report.Sent;
  if (!done) return;
  LastDifferences = report.Differences;
  if (LastDifferences && !LastDifferences->empty())
    ShowDifferences(*Person, "Проверка записи", "Записано", *LastDifferences);
}

void TFmMain::ActCompareExecute() {
  LastDifferences.reset();
  if (!GatherParameters()) return;  // it has told the person already; nothing is read
  const TCompareResult compared =
      RunSession([this] { return Session.CompareWithUnit(PortName(), ParamList); });
  if (!ShowOutcome(compared)) return;
  LastDifferences = compared.Differences;
  ShowDifferences(*Person, "Сравнение с Вестрой", "В окне", compared.Differences);
}
