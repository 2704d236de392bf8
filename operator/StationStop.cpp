#include "operator/StationStop.h"

struct TStationStop::TState {};

TStationStop::TStationStop(QProcess& station) : Station(station) {}

TStationStop::~TStationStop() = default;

void TStationStop::Start() { Station.start(); }

void TStationStop::Stop() { Station.terminate(); }
