#include "station/StationState.h"

#include <QSysInfo>
#include <memory>

namespace {

using TClock = std::chrono::steady_clock;

// A new store waits this long after a failed one: a database that is down is not hammered.
constexpr std::chrono::milliseconds kRetryEvery{5000};

}  // namespace

TStationNames TStationNames::Of(const std::string& given, bool automatic,
                                const std::vector<std::string>& ports) {
  const std::string pc = QSysInfo::machineHostName().toStdString();
  const std::string first = automatic ? "auto" : ports.empty() ? "" : ports.front();
  return {given.empty() ? pc + ":" + first : given, given, pc, ports};
}

TStationStateWriter::TStationStateWriter(const QString& db, const TStationNames& names)
    : Db(db), Names(names) {
  for (std::size_t i = 0; i < Names.Ports.size(); ++i) {
    TSlot& slot = Slots[static_cast<int>(i) + 1];
    slot.State.Port = Names.Ports[i];
    Dirty[static_cast<int>(i) + 1] = true;
  }
  Dirty[0] = true;
  Thread = std::thread([this] { Run(); });
}

TStationStateWriter::~TStationStateWriter() { Stop(); }

std::string TStationStateWriter::RecordName(const TStationNames& names, int slot,
                                            const std::string& port) {
  if (names.Single) return names.Station;
  if (names.Given.empty()) return names.Pc + ":" + port;
  return names.Given + "/" + std::to_string(slot) + ":" + port;
}

std::string TStationStateWriter::Take(const TStationEvent& event) {
  std::lock_guard<std::mutex> lock(Mutex);
  TSlot& slot = Slots[event.Slot];
  const TSlotPhase before = slot.State.Phase;
  slot.State.Apply(event);
  if (!event.Port.empty()) slot.State.Port = event.Port;
  if (event.Kind == TEventKind::Claimed || event.Kind == TEventKind::Finished)
    slot.Position = event.Row;
  if (event.Kind == TEventKind::Left || event.Kind == TEventKind::Arrived) slot.Position = 0;
  // Progress alone waits for the next second; a new phase or unit is written at once.
  const bool changed = before != slot.State.Phase || event.Kind == TEventKind::Claimed ||
                       event.Kind == TEventKind::Finished;
  bool& urgent = Dirty[event.Slot];
  urgent = urgent || changed;
  Wake.notify_one();
  if (Failure.empty() || FailureShown) return {};
  FailureShown = true;
  return "Состояние станции не записано в базу данных (" + Failure +
         "): станция работает, запись будет повторена";
}

void TStationStateWriter::Stop() {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Stopped) return;
    Stopped = Stopping = true;
    for (auto& [number, slot] : Slots) {
      if (slot.State.Phase != TSlotPhase::Ended) slot.State.End("завершён");
      Dirty[number] = true;
    }
    Dirty[0] = true;
  }
  Wake.notify_one();
  Thread.join();
}

std::vector<TStateRecord> TStationStateWriter::Records(const std::vector<int>& numbers,
                                                       bool stopping) {
  std::vector<TStateRecord> records;
  for (int number : numbers) {
    TStateRecord r;
    r.Slot = number;
    r.Station = Names.Station;
    r.Pc = Names.Pc;
    r.BeatMs = kBeat.count();
    if (number == 0) {
      r.Phase = stopping ? "stopped" : "running";
    } else {
      const TSlot& slot = Slots[number];
      r.Port = slot.State.Port;
      r.RecordName = RecordName(Names, number, slot.State.Port);
      r.Phase = PhaseName(slot.State.Phase);
      r.Position = slot.Position;
      r.Label = slot.State.Label;
      r.Detail = slot.State.Detail;
      r.Step = slot.State.Step;
      r.Steps = slot.State.Steps;
      r.AgeMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - slot.State.Since)
              .count();
    }
    records.push_back(r);
  }
  return records;
}

void TStationStateWriter::Run() {
  std::unique_ptr<TStationStore> store;
  std::string instance;
  TClock::time_point written{}, failed = TClock::now() - kRetryEvery;
  std::unique_lock<std::mutex> lock(Mutex);
  for (bool last = false; !last;) {
    // A phase's change goes at once, progress at most every kProgressEvery, and the heartbeat
    // once nothing else was written for kBeat.
    const auto due = [&] {
      if (Stopping) return TClock::now();
      TClock::time_point next = written + kBeat;
      for (const auto& [slot, urgent] : Dirty)
        next = std::min(next, urgent ? written : written + kProgressEvery);
      return std::max(next, failed + kRetryEvery);
    };
    // What is due moves with every event taken: the wait is measured again after each.
    while (TClock::now() < due()) Wake.wait_until(lock, due());
    last = Stopping;
    std::vector<int> numbers;
    for (const auto& [slot, urgent] : Dirty) numbers.push_back(slot);
    std::vector<TStateRecord> records = Records(numbers, last);
    Dirty.clear();
    lock.unlock();
    try {
      if (!store) {
        store = std::make_unique<TStationStore>(Db, Names.Station, instance);
        instance = store->Instance();
      }
      for (TStateRecord& r : records) r.Instance = instance;
      if (records.empty())
        store->Beat(instance);
      else
        store->PutStates(records);
      written = TClock::now();
      lock.lock();
    } catch (const std::exception& error) {
      store.reset();
      failed = TClock::now();
      lock.lock();
      if (Failure.empty()) Failure = error.what();
      // Whatever was not written goes with the next write.
      for (const TStateRecord& r : records) Dirty[r.Slot] = true;
      if (last) break;  // a clean end does not wait for a database that is down
    }
  }
}
