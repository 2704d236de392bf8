// What a station and each of its slots do, kept in the record for the line's dashboard.
//
// The station's supervisor hands every slot's event to the writer and goes on at once: a thread
// of its own, with a connection of its own, writes the latest state of each slot (a phase's
// change at once, progress at most every second), a heartbeat every few seconds while nothing
// else is written, and "stopped" at a clean end. A write that fails is noted once and tried
// again later; it never fails a unit, nor stops the station.
#pragma once

#include <QString>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/SlotState.h"
#include "station/StationStore.h"

// The station's names, as the record knows them.
struct TStationNames {
  std::string Station;             // --station, or the PC's name and the first port
  std::string Given;               // --station as given; empty: none
  std::string Pc;                  // the PC's name
  std::vector<std::string> Ports;  // the slots known at the start, in order
  bool Single = false;  // a station of one port without workers: its one slot is the station

  // As the station names itself in the record: `given` (--station), else after the PC and its
  // first port ("auto" for --port auto).
  static TStationNames Of(const std::string& given, bool automatic,
                          const std::vector<std::string>& ports);
};

class TStationStateWriter {
 public:
  static constexpr std::chrono::milliseconds kBeat{3000};
  static constexpr std::chrono::milliseconds kProgressEvery{1000};

  TStationStateWriter(const QString& db, const TStationNames& names);
  // Writes "stopped" (if not yet) and ends the thread.
  ~TStationStateWriter();
  TStationStateWriter(const TStationStateWriter&) = delete;
  TStationStateWriter& operator=(const TStationStateWriter&) = delete;

  // The slot's event. A note to show, once, when
  // the state could not be written; else empty.
  std::string Take(const TStationEvent& event);
  // The clean end: every slot ended, the station stopped; waits for that write.
  void Stop();

  // The name a slot's attempts are recorded under (as the slot's worker names itself).
  static std::string RecordName(const TStationNames& names, int slot, const std::string& port);

 private:
  struct TSlot {
    TSlotState State;
    int Position = 0;
  };
  const QString Db;
  const TStationNames Names;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::map<int, TSlot> Slots;
  std::map<int, bool> Dirty;  // slot -> its phase changed (written at once)
  bool Stopping = false, Stopped = false;
  std::string Failure;  // the first failure not yet shown
  bool FailureShown = false;
  std::thread Thread;

  void Run();
  std::vector<TStateRecord> Records(const std::vector<int>& numbers, bool stopping);
};
