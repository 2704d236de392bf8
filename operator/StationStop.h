// How the window starts its station and asks it to stop after the units in hand, one file per
// system. Linux: SIGTERM (QProcess::terminate). Windows, where terminate() only posts WM_CLOSE,
// which a console program never sees: the station inherits an event to be set and the window's
// process to watch (station/ChildStop.h), as a station's workers do, so that a station whose
// window was killed finishes its units and ends too; and it gets no console window of its own.
// Either way the station lets every slot finish its unit and exits with 143.
#pragma once

#include <QProcess>
#include <memory>

class TStationStop {
 public:
  explicit TStationStop(QProcess& station);
  ~TStationStop();
  TStationStop(const TStationStop&) = delete;
  TStationStop& operator=(const TStationStop&) = delete;

  // Starts the station as `station` is set up (program, arguments, folder); raises
  // std::runtime_error when the system cannot give it what it stops by.
  void Start();
  // Asks the running station to finish the units in hand and end.
  void Stop();

 private:
  QProcess& Station;
  struct TState;
  std::unique_ptr<TState> State;
};
