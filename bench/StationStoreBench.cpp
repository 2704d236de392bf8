// What the station's queue and record cost: claims and records per second for one station on a
// SQLite file and for 8 stations on one PostgreSQL database (a throwaway server that syncs its
// commits as a real one does), and the record's cost per unit against the time the unit's own
// write and verification take (read back after "#S", against the simulated unit at 3.00
// answering at once, the shortest write there is, and answering after 2 ms at 115200 baud). Per
// unit the record is one claim with its started attempt, its lease keeper, and one completion with
// the row done. The share on PostgreSQL is one station's, as in a line whose stations claim seconds
// apart; the 8 stations at once show the database's throughput when they all only claim and
// record. It prints figures only and always exits 0.
#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "station/StationStore.h"
#include "form/FmMain.h"
#include "tests/support/PgServer.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr double kGoalPercent = 5;

std::vector<TStoreRow> Rows(int count) {
  std::vector<TStoreRow> rows;
  for (int n = 1; n <= count; ++n)
    rows.push_back({TStationStore::RowIdentity("bench", "u" + std::to_string(n),
                                               {"PhoneSMS1=" + std::to_string(n)}, 0),
                    n, "u" + std::to_string(n), "PhoneSMS1=" + std::to_string(n)});
  return rows;
}

// One station working through the batch until no row is left for it; units handled.
int Work(const QString& db, const std::string& station, const std::vector<TStoreRow>& rows) {
  TStationStore store(db, station);
  store.OpenBatch(TStationStore::BatchIdentity("bench", rows), rows);
  int units = 0;
  while (auto claim = store.Claim("COM3", "/dev/ttyACM0", "3.00")) {
    { TLeaseKeeper keeper(db, station, *claim); }
    store.CompleteAttempt(claim->Attempt, &*claim, {"ok", "", 1.0, 2.0, 1.0});
    ++units;
  }
  return units;
}

// Units per second with `stations` stations at once, each on its own connection.
double UnitsPerSecond(const QString& db, int stations, int rows) {
  const auto batch = Rows(rows);
  const auto start = TClock::now();
  std::vector<std::thread> threads;
  std::vector<int> units(static_cast<std::size_t>(stations));
  for (int s = 0; s < stations; ++s)
    threads.emplace_back([&, s] {
      try {
        units[static_cast<std::size_t>(s)] = Work(db, "bench:" + std::to_string(s), batch);
      } catch (const std::exception& e) {
        std::printf("station %d failed: %s\n", s, e.what());
      }
    });
  for (auto& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  int total = 0;
  for (int n : units) total += n;
  if (total != rows) std::printf("  %d units for %d rows!\n", total, rows);
  return total / seconds;
}

// Milliseconds of one write with its verification, as the station runs it.
double WriteMs(std::vector<std::string> unitArgs) {
  unitArgs.insert(unitArgs.end(), {"--firmware", "3.00"});
  TSimUnit unit(unitArgs);
  MapPort("COM3", unit.PtyPath());
  TScriptedPerson person;
  TFmMain form;
  form.SetPerson(&person);
  form.CBPort->SetItemIndex(2);
  form.ActReadExecute();  // a form that passes its checks
  form.VerifyAfterWrite = true;
  constexpr int kWrites = 5;
  const auto start = TClock::now();
  for (int i = 0; i < kWrites; ++i) form.ActWriteExecute();
  const double ms = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
  form.SetPerson(nullptr);
  return ms / kWrites;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  try {
    auto print = [](const char* what, double perSecond) {
      std::printf("%-44s %8.1f claims+records/s, %6.2f ms/unit\n", what, perSecond,
                  1000 / perSecond);
    };
    const double sqlite = UnitsPerSecond(config.path() + "/station.db", 1, 300);
    print("SQLite, 1 station (WAL, synchronous FULL)", sqlite);
    double postgres = 0;
    try {
      TPgServer server(true);
      postgres = UnitsPerSecond(QString::fromStdString(server.NewDatabase("one")), 1, 200);
      print("PostgreSQL, 1 station (fsync on)", postgres);
      print("PostgreSQL, 8 stations at once (fsync on)",
            UnitsPerSecond(QString::fromStdString(server.NewDatabase("line")), 8, 800));
    } catch (const std::exception& e) {
      std::printf("PostgreSQL could not run: %s\n", e.what());
    }
    for (const auto& [name, args] :
         {std::pair<const char*, std::vector<std::string>>{"answering at once", {}},
          {"2 ms delay, 115200 Bd", {"--delay", "2", "--baud", "115200"}}}) {
      const double write = WriteMs(args);
      std::printf(
          "write + verification, unit at 3.00 %s: %.1f ms; record against it: SQLite %.2f %%", name,
          write, 100 * (1000 / sqlite) / write);
      if (postgres > 0) std::printf(", PostgreSQL %.2f %%", 100 * (1000 / postgres) / write);
      std::printf(" (goal under %.0f %%)\n", kGoalPercent);
    }
  } catch (const std::exception& e) {
    std::printf("StationStoreBench failed: %s\n", e.what());
  }
  return 0;
}
