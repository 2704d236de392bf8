// The stations' states: each slot's phase and a station's heartbeat, for the line's dashboard.
#include "station/StoreImpl.h"

void TStationStore::PutStates(const std::vector<TStateRecord>& states) {
  return Impl->Again([&] {
    TImpl& s = *Impl;
    TImpl::Transaction write(s);
    for (const TStateRecord& r : states)
      s.Run(
          "INSERT INTO station_states (instance, slot, station, pc, record_name, port, phase, "
          "position, label, detail, step, steps, since_ms, heartbeat_ms, beat_ms) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, {now} - CAST(? AS BIGINT), {now}, ?) "
          "ON CONFLICT (instance, slot) DO UPDATE SET station = excluded.station, "
          "pc = excluded.pc, record_name = excluded.record_name, port = excluded.port, "
          "phase = excluded.phase, position = excluded.position, label = excluded.label, "
          "detail = excluded.detail, step = excluded.step, steps = excluded.steps, "
          "since_ms = excluded.since_ms, "
          "heartbeat_ms = excluded.heartbeat_ms, beat_ms = excluded.beat_ms",
          {QString::fromStdString(r.Instance), r.Slot, QString::fromStdString(r.Station),
           QString::fromStdString(r.Pc), QString::fromStdString(r.RecordName),
           QString::fromStdString(r.Port), QString::fromStdString(r.Phase), r.Position,
           QString::fromStdString(r.Label), QString::fromStdString(r.Detail), r.Step, r.Steps,
           r.AgeMs, r.BeatMs});
    write.Commit();
  });
}

void TStationStore::Beat(const std::string& instance) {
  return Impl->Again([&] {
    Impl->Run("UPDATE station_states SET heartbeat_ms = {now} WHERE instance = ?",
              {QString::fromStdString(instance)});
  });
}

std::vector<TStateRecord> TStationStore::States() {
  return Impl->Again([&] {
    std::vector<TStateRecord> states;
    for (QSqlQuery q = Impl->Run(
             "SELECT instance, slot, station, pc, record_name, port, phase, position, label, "
             "detail, step, steps, {now} - since_ms, {now} - heartbeat_ms, beat_ms "
             "FROM station_states ORDER BY station, instance, slot");
         q.next();) {
      TStateRecord r;
      r.Instance = q.value(0).toString().toStdString();
      r.Slot = q.value(1).toInt();
      r.Station = q.value(2).toString().toStdString();
      r.Pc = q.value(3).toString().toStdString();
      r.RecordName = q.value(4).toString().toStdString();
      r.Port = q.value(5).toString().toStdString();
      r.Phase = q.value(6).toString().toStdString();
      r.Position = q.value(7).toInt();
      r.Label = q.value(8).toString().toStdString();
      r.Detail = q.value(9).toString().toStdString();
      r.Step = q.value(10).toInt();
      r.Steps = q.value(11).toInt();
      r.AgeMs = q.value(12).toLongLong();
      r.QuietMs = q.value(13).toLongLong();
      r.BeatMs = q.value(14).toLongLong();
      states.push_back(r);
    }
    return states;
  });
}
