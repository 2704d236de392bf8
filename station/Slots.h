// The station with several slots: one port each, every unit handled at once.
//
// Each slot's work runs in a worker process of its own: this very program, started as
// `provision ... --slot N --port P`, with its own never-shown form and its own link, so that one
// stuck or crashed slot never stops another. The station only supervises: it starts a worker per
// slot, reads the worker's events (JSON Lines on the worker's standard output) and notes (its
// standard error), draws the status, prints the events for `--json`, restarts a worker that was
// killed, and forwards the stop signals, after which every worker finishes its unit.
#pragma once

#include <string>
#include <vector>

#include "station/Session.h"

class TStationStore;

struct TStationSetup {
  std::vector<std::string> Ports;  // one slot each
  bool Automatic = false;          // a slot for every port name whose device exists
  // The batch's store when there is a table: the rows done and left are its, since other
  // stations may share them.
  TStationStore* Store = nullptr;
  int Count = 0;  // stop after this many units; 0: no limit
  bool Json = false;
  // The database, handed to every worker in its environment (kWorkerDbVariable): a password in
  // it stays out of the process list, which every user of the PC may read.
  std::string Db;
  // Labels from a scanner on standard input, one per unit (station/Scans.h).
  bool Scan = false;
  // What the station works with, as its "started" events name it.
  std::string Template, Table, DbShown;
};

// Where a slot's worker finds its station's database.
inline constexpr char kWorkerDbVariable[] = "VESTRA_STATION_DB";

// Runs the station until every row is done, `Count` units are, or a stop signal came; then
// 128 + that signal. Otherwise 1 after any error, 4 after differences, else 0.
int SuperviseSlots(TSession& session, const TStationSetup& setup);
