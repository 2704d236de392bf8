// How quickly the batch station notices units: from a unit's device appearing to the station's
// first command to it, and from a unit hanging up to the station saying "блок отключён". Units
// come and go on a link in a folder of the bench's own, as a person swaps units on a station
// slot. It prints figures only and always exits 0. Goal: under 0.3 s each.
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CliProcess.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kUnits = 8;
constexpr double kGoalSeconds = 0.3;

// Seconds until `ready()` holds, looked at every millisecond; negative after 30 s.
double SecondsUntil(const std::function<bool()>& ready) {
  const auto start = TClock::now();
  while (!ready()) {
    if (TClock::now() - start > std::chrono::seconds(30)) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::chrono::duration<double>(TClock::now() - start).count();
}

void PrintRow(const char* what, std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  if (seconds.empty() || seconds.front() < 0) {
    std::printf("%-34s failed\n", what);
    return;
  }
  double sum = 0;
  for (double s : seconds) sum += s;
  const double worst = seconds.back();
  std::printf("%-34s %8.3f %8.3f %8.3f  %s\n", what, seconds.front(), sum / seconds.size(), worst,
              worst < kGoalSeconds ? "met" : "missed");
}

void Run() {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
  const std::string folder = dir.path().toStdString();
  const std::string link = folder + "/slot1.tty", templ = folder + "/template.ini",
                    units = folder + "/units.csv", log = folder + "/log.csv";
  MapPort("COM3", link);
  {
    TSimUnit unit({"--link", link});
    if (RunCli({"read", "--port", "COM3", "-o", templ}).Exit != 0)
      throw std::runtime_error("reading the template failed");
  }
  {
    std::ofstream table(units);
    table << "Unit,PhoneSMS1\n";
    for (int n = 1; n <= kUnits; ++n) table << "unit" << n << ",+7900000" << 1000 + n << "\n";
  }

  TCliProcess station({"provision", templ, "--units", units, "--port", "COM3", "--log", log,
                       "--count", std::to_string(kUnits), "--settle", "0"});
  std::vector<double> arrival, departure;
  for (int n = 1; n <= kUnits; ++n) {
    auto unit = std::make_unique<TSimUnit>(std::vector<std::string>{"--link", link});
    arrival.push_back(SecondsUntil([&] { return !unit->Commands().empty(); }));
    // Written, verified and logged: the station now holds the port.
    SecondsUntil([&] { return Occurrences(station.Out(), "\n") == static_cast<std::size_t>(n); });
    if (n == kUnits) break;  // the station ends with its last unit
    const auto gone = TClock::now();
    unit.reset();
    const bool seen =
        SecondsUntil([&] {
          return Occurrences(station.Err(), "блок отключён") == static_cast<std::size_t>(n);
        }) >= 0;
    departure.push_back(seen ? std::chrono::duration<double>(TClock::now() - gone).count() : -1);
  }
  const int exit = station.Wait();

  std::printf("batch station, %d units on one slot (a link, as /dev/serial/by-id), exit %d\n",
              kUnits, exit);
  std::printf("%-34s %8s %8s %8s  goal %.1f s\n", "seconds", "min", "mean", "max", kGoalSeconds);
  PrintRow("device appeared -> first command", arrival);
  PrintRow("hang-up -> said the unit left", departure);
}

}  // namespace

int main() {
  try {
    Run();
  } catch (const std::exception& failure) {
    std::printf("ArrivalBench failed: %s\n", failure.what());
  }
  return 0;
}
