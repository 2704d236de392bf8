// What the line's dashboard costs. The database load the stations' states add: a state write of
// one slot, of a station's 8 slots, and a heartbeat, on a SQLite file (WAL, synchronous FULL) and
// on PostgreSQL (fsync on), summed over what a unit brings as the writer coalesces it (a write of
// its own at each of its four phases, its share of the station's one write a second of every
// slot's progress and of the heartbeat), held against the unit's time with 8 slots busy at once
// (the share of the database's time the states take), beside the record's own cost of the unit
// (its claim and its completion). And the page with 24 slots on 3 stations and a shift of 1000
// attempts: one read of the line with its snapshot, the size of each update, and the page's files
// fetched from `vestra-cli dashboard`. It prints figures only and always exits 0.
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <exception>
#include <regex>
#include <string>
#include <vector>

#include "dashboard/Snapshot.h"
#include "station/StationState.h"
#include "station/StationStore.h"
#include "tests/support/CliProcess.h"
#include "tests/support/PgServer.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr double kGoalPercent = 5;
constexpr int kSlots = 8;
constexpr int kPhaseWrites = 4;  // writing, verifying, done, waiting again

double MsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

std::vector<TStoreRow> Rows(int count) {
  std::vector<TStoreRow> rows;
  for (int n = 1; n <= count; ++n)
    rows.push_back({TStationStore::RowIdentity("bench", "u" + std::to_string(n), {}, 0), n,
                    "u" + std::to_string(n), "PhoneSMS1=" + std::to_string(n)});
  return rows;
}

TStateRecord Slot(const std::string& instance, const std::string& station, int slot) {
  TStateRecord r;
  r.Instance = instance;
  r.Slot = slot;
  r.Station = station;
  r.Pc = "pc";
  r.RecordName = station + "/" + std::to_string(slot) + ":/dev/ttyACM" + std::to_string(slot);
  r.Port = "/dev/ttyACM" + std::to_string(slot);
  r.Phase = slot == 0 ? "running" : "writing";
  r.Label = "u" + std::to_string(slot);
  r.Step = 17;
  r.Steps = 44;
  r.BeatMs = TStationStateWriter::kBeat.count();
  return r;
}

// The record's milliseconds per unit, a state write's and a heartbeat's.
void Load(const char* name, const QString& db) {
  constexpr int kUnits = 200;
  TStationStore store(db, "bench");
  const auto rows = Rows(kUnits);
  store.OpenBatch(TStationStore::BatchIdentity("bench", rows), rows);
  auto start = TClock::now();
  for (int n = 0; n < kUnits; ++n) {
    const auto claim = store.Claim("COM3", "/dev/ttyACM0", "3.00");
    store.CompleteAttempt(claim->Attempt, &*claim, {"ok", "", 1.0, 2.0, 1.0});
  }
  const double record = MsSince(start) / kUnits;
  std::vector<TStateRecord> station;
  for (int slot = 1; slot <= kSlots; ++slot)
    station.push_back(Slot(store.Instance(), "bench", slot));
  store.PutStates(station);
  start = TClock::now();
  for (int n = 0; n < kUnits; ++n) store.PutStates({station[0]});
  const double put = MsSince(start) / kUnits;
  start = TClock::now();
  for (int n = 0; n < kUnits; ++n) store.PutStates(station);
  const double putAll = MsSince(start) / kUnits;
  start = TClock::now();
  for (int n = 0; n < kUnits; ++n) store.Beat(store.Instance());
  const double beat = MsSince(start) / kUnits;
  std::printf(
      "%s: record %.2f ms/unit; state write of 1 slot %.2f ms, of %d slots %.2f ms, "
      "heartbeat %.2f ms\n",
      name, record, put, kSlots, putAll, beat);
  for (double seconds : {1.0, 10.0}) {
    const double progress = seconds * 1000 / TStationStateWriter::kProgressEvery.count();
    const double beats = seconds * 1000 / static_cast<double>(TStationStateWriter::kBeat.count());
    const double perUnit = kPhaseWrites * put + (progress * putAll + beats * beat) / kSlots;
    std::printf(
        "  a unit of %4.1f s: states %.2f ms (%.0f %% of its record's); with %d slots "
        "busy the database spends %.2f %% of its time on states (goal under %.0f %%)\n",
        seconds, perUnit, 100 * perUnit / record, kSlots, 100 * kSlots * perUnit / (seconds * 1000),
        kGoalPercent);
  }
}

// 3 stations of 8 slots and a shift of 1000 attempts.
void FillLine(const QString& db) {
  TStationStore store(db, "bench");
  const auto rows = Rows(1000);
  store.OpenBatch(TStationStore::BatchIdentity("line", rows), rows);
  for (int n = 0; n < 1000; ++n) {
    const auto claim = store.Claim("/dev/ttyACM1", "/dev/ttyACM1", "3.00");
    store.CompleteAttempt(claim->Attempt, &*claim,
                          {n % 10 == 0 ? "error" : "ok", "нет ответа", 1.0, 2.0, 1.0});
  }
  for (int s = 0; s < 3; ++s) {
    std::vector<TStateRecord> states;
    for (int slot = 0; slot <= kSlots; ++slot)
      states.push_back(Slot("i" + std::to_string(s), "line" + std::to_string(s), slot));
    store.PutStates(states);
  }
}

// A poll as the dashboard makes it each second (the states, the record's end, the rows left)
// with the snapshot drawn from it, and one that reads the whole record, as it does every minute.
void Snapshot(const QString& db) {
  TStationStore store(db, {}, {}, TStoreAccess::ReadOnly);
  constexpr int kReads = 20;
  const std::vector<TAttemptRecord> held = store.Attempts();
  for (bool whole : {false, true}) {
    QByteArray json;
    const auto start = TClock::now();
    for (int n = 0; n < kReads; ++n) {
      TLineRecord record{store.States(), held, store.Counts().Left};
      if (whole) {
        record.Attempts = store.Attempts();
      } else {
        const auto later = store.AttemptsFrom(held.back().Id + 1);
        record.Attempts.insert(record.Attempts.end(), later.begin(), later.end());
      }
      const QDateTime now = QDateTime::currentDateTime();
      json = QJsonDocument(LineSnapshot(record, now.date().startOfDay(), now))
                 .toJson(QJsonDocument::Compact);
    }
    std::printf(
        "a poll of the line (24 slots, %zu attempts, %s) and its snapshot: %.1f ms; "
        "each update %lld bytes\n",
        held.size(), whole ? "the whole record read" : "its end read", MsSince(start) / kReads,
        static_cast<long long>(json.size()));
  }
}

// Milliseconds of a GET on a connection of its own, and the bytes of its body.
std::pair<double, qint64> Get(quint16 port, const char* path) {
  const auto start = TClock::now();
  QTcpSocket socket;
  socket.connectToHost("127.0.0.1", port);
  socket.waitForConnected(5000);
  socket.write(QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  QByteArray answer;
  const std::regex length("Content-Length: (\\d+)", std::regex::icase);
  for (;;) {
    const qsizetype head = answer.indexOf("\r\n\r\n");
    std::cmatch match;
    if (head >= 0 &&
        std::regex_search(answer.constData(), answer.constData() + head, match, length) &&
        answer.size() - head - 4 >= std::stoll(match[1]))
      return {MsSince(start), answer.size() - head - 4};
    if (!socket.waitForReadyRead(5000)) return {MsSince(start), -1};
    answer += socket.readAll();
  }
}

void Page(const QString& db) {
  TCliProcess dashboard({"dashboard", "--db", db.toStdString(), "--listen", "127.0.0.1:0"});
  std::smatch match;
  std::string out;
  WaitUntil([&] {
    out = dashboard.Out();
    return std::regex_search(out, match, std::regex(":(\\d+)/"));
  });
  const auto port = static_cast<quint16>(std::stoi(match[1]));
  double total = 0;
  qint64 bytes = 0;
  for (const char* path : {"/", "/dashboard.js", "/dashboard.css", "/state.json"}) {
    const auto [ms, size] = Get(port, path);
    total += ms;
    bytes += size;
  }
  std::printf(
      "the page from vestra-cli dashboard (page, script, style, first state): %.1f ms, "
      "%lld bytes\n",
      total, static_cast<long long>(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    QTemporaryDir dir;
    Load("SQLite (WAL, synchronous FULL)", dir.path() + "/load.db");
    const QString line = dir.path() + "/line.db";
    FillLine(line);
    Snapshot(line);
    Page(line);
    try {
      TPgServer server(true);
      Load("PostgreSQL (fsync on)", QString::fromStdString(server.NewDatabase("load")));
      const QString pgLine = QString::fromStdString(server.NewDatabase("line"));
      FillLine(pgLine);
      Snapshot(pgLine);
    } catch (const std::exception& e) {
      std::printf("PostgreSQL could not run: %s\n", e.what());
    }
  } catch (const std::exception& e) {
    std::printf("DashboardBench failed: %s\n", e.what());
  }
  return 0;
}
