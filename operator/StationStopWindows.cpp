#include <windows.h>

#include <optional>

#include "operator/StationStop.h"
#include "station/ChildStop.h"

struct TStationStop::TState {
  std::optional<TChildStop> Told;  // of the station's present start
};

TStationStop::TStationStop(QProcess& station)
    : Station(station), State(std::make_unique<TState>()) {
  // QProcess starts with inheritance on, and without a console window only while this process
  // has no console itself (started from one, it would pass its own): both said here, whatever.
  Station.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
    arguments->inheritHandles = true;
    arguments->flags |= CREATE_NO_WINDOW;
  });
}

TStationStop::~TStationStop() = default;

void TStationStop::Start() {
  State->Told.emplace();
  const TGivenStop given(*State->Told);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(kChildStopVariable, QString::fromStdString(given.Value()));
  Station.setProcessEnvironment(environment);
  // CreateProcess is called within start(): the station holds its own copies once it returns.
  Station.start();
}

void TStationStop::Stop() {
  if (State->Told) State->Told->Ask();
}
