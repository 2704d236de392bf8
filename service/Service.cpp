// The service operations on a connected unit: firmware version, battery-voltage calibration and
// the swap of the red and green indicator lights. Each runs inside the common frame: wait panel,
// open the selected port, exchange, keep the port open only for the receive monitor.
#include <string>

#include "form/FmMain.h"
#include "link/Text.h"
#include "params/ParamList.h"

void TFmMain::ActVersionExecute() {
  std::string version;
  if (!RunOperation("Читаю версию...", [&] { version = Link.ReadVersion(); })) return;
  Person->Tell("Версия " + Cp1251ToUtf8(version), "Вестра", TPerson::TIcon::Information);
}

void TFmMain::ActCorrCoefExecute() {
  if (!Person->Ask("Калибровка должна выполняться только при полностью заряженном аккумуляторе "
                   "(4.20В). Продолжить?",
                   "Предупреждение", TPerson::TIcon::Question))
    return;
  RunOperation("Выполняю калибровку...", [&] {
    // Only to fail early when no unit answers; it also refreshes the version caption.
    Link.ReadVersion();
    const std::string answer = Link.ExecuteForAnswer("#P\r");
    Link.CheckAnswerError(answer);  // code 2 falls through to the "#OK" test
    TLink::RequireOk(answer);
    const std::string value = Link.ReadParameter("M05");
    SECorrCoef->SetValue(ToInteger(value).value_or(0));
  });
}

void TFmMain::ActLEDInversExecute() {
  if (!Person->Ask("Инвертировать индикацию Вестры (красный - зеленый)?", "Предупреждение",
                   TPerson::TIcon::Question))
    return;
  RunOperation("Выполнение команды...", [&] {
    // Error answers are deliberately not interpreted: any of them is a bad answer here.
    TLink::RequireOk(Link.ExecuteForAnswer("#WL00\r"));
  });
}
