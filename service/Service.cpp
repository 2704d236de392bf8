// The service operations on a connected unit: firmware version, battery-voltage calibration and
// the swap of the red and green indicator lights. Each runs inside the session's frame.
#include "service/Service.h"

#include <string>

#include "link/Integer.h"
#include "link/Text.h"

TOperationResult ReadFirmwareVersion(TUnitSession& session, const std::string& port) {
  return session.Run("Читаю версию...", port,
                     [&](TOperationResult& result) { result.Version = session.ReadVersion(); });
}

TCalibration Calibrate(TUnitSession& session, const std::string& port) {
  TCalibration calibration;
  TPerson* person = session.Person();
  calibration.Declined =
      !person || !person->Ask(
                     "Калибровка должна выполняться только при полностью заряженном "
                     "аккумуляторе (4.20В). Продолжить?",
                     "Предупреждение", TPerson::TIcon::Question);
  if (calibration.Declined) return calibration;
  static_cast<TOperationResult&>(calibration) =
      session.Run("Выполняю калибровку...", port, [&](TOperationResult& result) {
        TLink& link = session.Link;
        // Only to fail early when no unit answers; it also refreshes the version caption.
        result.Version = link.ReadVersion();
        const std::string answer = link.ExecuteForAnswer("#P\r");
        link.CheckAnswerError(answer);  // code 2 falls through to the "#OK" test
        TLink::RequireOk(answer);
        calibration.CorrCoef = ToInteger(link.ReadParameter("M05")).value_or(0);
        session.Values.SetValue("SECorrCoef", calibration.CorrCoef);
        calibration.CorrCoef = session.Values.Value("SECorrCoef");
      });
  return calibration;
}

TLedInversion InvertLeds(TUnitSession& session, const std::string& port) {
  TLedInversion inversion;
  TPerson* person = session.Person();
  inversion.Declined =
      !person || !person->Ask("Инвертировать индикацию Вестры (красный - зеленый)?",
                              "Предупреждение", TPerson::TIcon::Question);
  if (inversion.Declined) return inversion;
  static_cast<TOperationResult&>(inversion) =
      session.Run("Выполнение команды...", port, [&](TOperationResult&) {
        // Error answers are deliberately not interpreted: any of them is a bad answer here.
        TLink::RequireOk(session.Link.ExecuteForAnswer("#WL00\r"));
      });
  return inversion;
}
