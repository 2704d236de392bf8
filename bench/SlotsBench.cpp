// The station with several slots against simulated units answering after 2 ms on a line paced at
// 115200 baud: 8 and 24 units plugged at the same moment into a running station of as many slots,
// against one unit plugged into a station of one slot, each run a station of its own; and the
// resident memory of a slot's worker waiting for its unit. From the station's
// events (--json): when each unit arrived and when it was verified. Then the units per hour of a
// line whose person spends a given time per unit on plugging and unplugging, while the slots write.
// It prints figures only and exits 0.
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CliProcess.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

constexpr double kGoalRatio = 1.5;    // 8 slots against one
constexpr double kGoalRatio24 = 1.2;  // 24 slots against one
constexpr double kGoalWorkerMb = 15;
constexpr double kHandlingS[] = {5, 10};
const std::vector<std::string> kUnitArgs = {"--delay", "2", "--baud", "115200"};

struct TRun {
  double PlugToAllS = 0;    // from the plug to the last unit verified
  double HandlingS = 0;     // from the first unit seen to the last verified
  double LongestUnitS = 0;  // one unit, from seen to verified, the longest
  double WorkerMb = 0;      // the largest resident size of a waiting worker
};

// VmRSS of a process, in MB; 0 when it cannot be read.
double ResidentMb(long long pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

double Seconds(const QDateTime& from, const QDateTime& to) {
  return static_cast<double>(from.msecsTo(to)) / 1000;
}

TRun Station(const std::string& folder, const std::string& templ, int ports) {
  const std::string units = folder + "/units" + std::to_string(ports) + ".csv";
  {
    std::ofstream table(units);
    table << "Unit,PhoneSMS1\n";
    for (int n = 1; n <= ports; ++n) table << "unit" << n << ",+7900000" << 1000 + n << "\n";
  }
  std::vector<std::string> args = {"provision",
                                   templ,
                                   "--units",
                                   units,
                                   "--json",
                                   "--db",
                                   folder + "/station" + std::to_string(ports) + ".db"};
  std::vector<std::string> links;
  for (int n = 1; n <= ports; ++n) {
    links.push_back(folder + "/slot" + std::to_string(ports) + "-" + std::to_string(n));
    args.insert(args.end(), {"--port", links.back()});
  }
  // The station runs, every slot waiting, before the units come: each is seen by its device's
  // event. A worker takes a moment to start; a unit plugged before would only count its start.
  TCliProcess station(args);
  if (!WaitUntil(
          [&] { return ChildrenOf(station.Id()).size() == static_cast<std::size_t>(ports); }))
    throw std::runtime_error("the station started no workers: " + station.Err());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  double workerMb = 0;
  for (const auto worker : ChildrenOf(station.Id()))
    workerMb = std::max(workerMb, ResidentMb(static_cast<long long>(worker)));
  std::vector<std::unique_ptr<TSimUnit>> plugged;
  const QDateTime plug = QDateTime::currentDateTime();
  for (const std::string& link : links) {
    auto unitArgs = kUnitArgs;
    unitArgs.insert(unitArgs.end(), {"--link", link});
    plugged.push_back(std::make_unique<TSimUnit>(unitArgs));
  }
  if (station.Wait(std::chrono::seconds(120)) != 0)
    throw std::runtime_error("the station failed: " + station.Err());

  QDateTime firstSeen, lastVerified;
  std::vector<QDateTime> seen(static_cast<std::size_t>(ports) + 1);
  TRun run;
  run.WorkerMb = workerMb;
  int verified = 0;
  for (const std::string& line : [&] {
         std::vector<std::string> lines;
         const std::string out = station.Out();
         for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos;
              at = end + 1)
           lines.push_back(out.substr(at, end - at));
         return lines;
       }()) {
    const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    const QDateTime time = QDateTime::fromString(event["time"].toString(), Qt::ISODateWithMs);
    const auto slot = static_cast<std::size_t>(event["slot"].toInt());
    if (slot == 0 || slot > static_cast<std::size_t>(ports)) continue;
    if (event["event"] == "arrived") {
      seen[slot] = time;
      if (!firstSeen.isValid() || time < firstSeen) firstSeen = time;
    }
    if (event["event"] == "verified") {
      ++verified;
      if (!lastVerified.isValid() || time > lastVerified) lastVerified = time;
      run.LongestUnitS = std::max(run.LongestUnitS, Seconds(seen[slot], time));
    }
  }
  if (verified != ports) throw std::runtime_error("not every unit was verified");
  run.PlugToAllS = Seconds(plug, lastVerified);
  run.HandlingS = Seconds(firstSeen, lastVerified);
  return run;
}

void Run() {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
  const std::string folder = dir.path().toStdString();
  const std::string templ = folder + "/template.ini";
  {
    TSimUnit unit;
    if (RunCli({"read", "--port", unit.PtyPath(), "-o", templ}).Exit != 0)
      throw std::runtime_error("reading the template failed");
  }
  const TRun one = Station(folder, templ, 1);
  const TRun eight = Station(folder, templ, 8);
  const TRun many = Station(folder, templ, 24);

  std::printf("station slots against simulated units answering after 2 ms at 115200 baud\n");
  std::printf("%-6s %14s %14s %16s\n", "slots", "plug->all s", "seen->all s", "longest unit s");
  for (const auto& [ports, run] : {std::pair{1, one}, std::pair{8, eight}, std::pair{24, many}})
    std::printf("%-6d %14.3f %14.3f %16.3f\n", ports, run.PlugToAllS, run.HandlingS,
                run.LongestUnitS);
  const double ratio = one.HandlingS > 0 ? eight.HandlingS / one.HandlingS : 0;
  std::printf("8 units at once take %.2f times one unit alone (goal: under %.1f): %s\n", ratio,
              kGoalRatio, ratio < kGoalRatio ? "met" : "missed");
  const double ratio24 = one.HandlingS > 0 ? many.HandlingS / one.HandlingS : 0;
  std::printf("24 units at once take %.2f times one unit alone (goal: under %.1f): %s\n", ratio24,
              kGoalRatio24, ratio24 < kGoalRatio24 ? "met" : "missed");
  std::printf("(plug->all: from the first unit plugged into the running station)\n");
  const double workerMb = std::max({one.WorkerMb, eight.WorkerMb, many.WorkerMb});
  std::printf("a waiting slot worker holds %.1f MB resident (goal: under %.0f MB): %s\n", workerMb,
              kGoalWorkerMb, workerMb < kGoalWorkerMb ? "met" : "missed");

  // One person plugs and unplugs every unit; the slots write while the person goes on. One slot:
  // each unit costs the handling and its write. Several: the handling alone, unless every slot
  // is still busy when the person comes back.
  std::printf("%-12s %14s %14s\n", "handling s", "1 slot, /h", "8 slots, /h");
  for (double handling : kHandlingS) {
    const double single = 3600 / (handling + one.LongestUnitS);
    const double many = 3600 / std::max(handling, (handling + eight.LongestUnitS) / 8);
    std::printf("%-12.0f %14.0f %14.0f\n", handling, single, many);
  }
}

}  // namespace

int main() {
  try {
    Run();
  } catch (const std::exception& failure) {
    std::printf("SlotsBench failed: %s\n", failure.what());
  }
  return 0;
}
