// The service operations on a unit, over a session (transfer/UnitSession.h): port discovery,
// the firmware version, the battery-voltage calibration, the swap of the red and green lights,
// and the receive monitor's tick. Each returns what happened; showing it is the face's concern.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "transfer/UnitSession.h"

// Tries every port in order and stops at the first whose unit gives a usable version answer;
// no failure on a single port counts, it only means there is no unit there. The port is closed
// first (a monitor connection too) and after each try.
struct TFoundPort {
  std::optional<std::size_t> Index;  // of `ports`; none: no unit found
  std::string Version;
};
TFoundPort FindPort(TUnitSession& session, std::span<const std::string> ports);

TOperationResult ReadFirmwareVersion(TUnitSession& session, const std::string& port);

// Asks the person first; a No sends nothing (`Declined`). Done, the unit's new coefficient is
// in `CorrCoef` and in the session's "SECorrCoef".
struct TCalibration : TOperationResult {
  bool Declined = false;
  int CorrCoef = 0;
};
TCalibration Calibrate(TUnitSession& session, const std::string& port);

// Asks the person first; a No sends nothing (`Declined`).
struct TLedInversion : TOperationResult {
  bool Declined = false;
};
TLedInversion InvertLeds(TUnitSession& session, const std::string& port);

// One tick of the receive monitor: keeps `port` open and moves at most one message the unit sent
// into the log; it never sends anything. A port that does not open is retried on the next tick
// and let go meanwhile. `underOperation`: an operation holds the link while it asks the person a
// question; the tick shows what arrives but neither opens nor closes the link. A read failure
// (the device went away) is returned and, unless under an operation, closes the port.
struct TMonitorTick {
  std::optional<std::string> Failure;
};
TMonitorTick MonitorTick(TUnitSession& session, const std::string& port, bool underOperation);
