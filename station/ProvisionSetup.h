// What the station takes from its command line, and the record it opens before anything is sent.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "station/StationStore.h"
#include "station/UnitsTable.h"

class TSession;
class TProvisionLog;
class TOutcomeJournal;

// What the command line asks of the station.
struct TProvisionOptions {
  int Count = 0;  // stop after this many units; 0: no limit
  int Slot = 0;   // a slot's worker: its number; 0: a station of its own
  std::vector<std::string> Ports;
  bool Automatic = false;    // any port whose device appears
  bool Queue = false;        // rows from a table, shared through the store
  bool Supervising = false;  // a station of slots, a worker for each
  bool Scan = false;         // each unit waits for its scanned label (station/Scans.h)
  std::string Station;       // the name its attempts are recorded under
  QString Db;                // the station's database
  long long LeaseMs = TStationStore::kLeaseMs;
};

// Raises EUsage for an option that makes no sense.
TProvisionOptions ReadOptions(TSession& session);

// The store and the log, ready before anything is sent; the outcomes that a station gone left in
// its journal are committed first, and a worker's attempts that its predecessor left started are
// marked interrupted. A station that handles units gets its own journal.
void OpenRecord(TSession& session, const TProvisionOptions& options, const TPlan& templatePlan,
                const std::vector<TPlan>& plans, std::unique_ptr<TStationStore>& store,
                std::unique_ptr<TProvisionLog>& log, std::unique_ptr<TOutcomeJournal>& journal);
