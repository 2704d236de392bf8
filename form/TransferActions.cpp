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
  if (!GatherParameters()) return;  // it has told the person already
  ReleaseMonitor();
  const TWriteReport report =
      RunSession([this] { return Session.WriteConfiguration(PortName(), ParamList); });
  LastWrite = report.Sent;
  LastDifferences = report.Differences;
  if (!ShowOutcome(report)) {
    LastDifferences.reset();
    return;
  }
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
