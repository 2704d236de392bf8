// The batch station against the simulated unit: 10 units one after another, each a fresh unit
// (the simulated unit stopped and started again between units, as a person swaps units), and per
// unit the time spent waiting for it, writing it and verifying it, as the station's log records
// them. Waiting includes the bench's own swap of the unit (a new terminal, mapped to COM3 in the
// settings) and the station noticing it; verifying includes the settling after "#S". It prints
// figures only and always exits 0.
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CliProcess.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

constexpr int kUnits = 10;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) {
    if (field.size() >= 2 && field.front() == '"') field = field.substr(1, field.size() - 2);
    fields.push_back(field);
  }
  return fields;
}

std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Run() {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
  const std::string folder = dir.path().toStdString();
  auto unit = std::make_unique<TSimUnit>();
  MapPort("COM3", unit->PtyPath());
  const std::string templ = folder + "/template.ini", units = folder + "/units.csv",
                    log = folder + "/log.csv";
  if (RunCli({"read", "--port", "COM3", "-o", templ}).Exit != 0)
    throw std::runtime_error("reading the template failed");
  {
    std::ofstream table(units);
    table << "Unit,PhoneSMS1\n";
    for (int n = 1; n <= kUnits; ++n) table << "unit" << n << ",+7900000" << 1000 + n << "\n";
  }

  TCliProcess station({"provision", templ, "--units", units, "--port", "COM3", "--log", log, "--db",
                       folder + "/station.db", "--count", std::to_string(kUnits)});
  for (int n = 1; n <= kUnits; ++n) {
    if (n > 1) {
      unit.reset();
      if (!WaitUntil([&] {
            return Occurrences(station.Err(), "блок отключён") == static_cast<std::size_t>(n - 1);
          }))
        throw std::runtime_error("the station did not notice the unit leave");
      unit = std::make_unique<TSimUnit>();
      MapPort("COM3", unit->PtyPath());
    }
    if (!WaitUntil([&] { return LogLines(log).size() == static_cast<std::size_t>(n + 1); }))
      throw std::runtime_error("unit " + std::to_string(n) + " was not logged: " + station.Err());
  }
  const int exit = station.Wait();

  std::printf("provision of %d units against the simulated unit (firmware 3.00), exit %d\n", kUnits,
              exit);
  std::printf("%-6s %-8s %10s %10s %10s\n", "unit", "result", "wait_s", "write_s", "verify_s");
  double sums[3] = {0, 0, 0};
  auto lines = LogLines(log);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = Fields(lines[i]);
    if (f.size() < 11) continue;
    std::printf("%-6zu %-8s %10s %10s %10s\n", i, f[6].c_str(), f[8].c_str(), f[9].c_str(),
                f[10].c_str());
    for (int k = 0; k < 3; ++k) sums[k] += std::atof(f[8 + k].c_str());
  }
  const double n = lines.size() > 1 ? static_cast<double>(lines.size() - 1) : 1;
  std::printf("%-6s %-8s %10.3f %10.3f %10.3f\n", "mean", "", sums[0] / n, sums[1] / n,
              sums[2] / n);
}

}  // namespace

int main() {
  try {
    Run();
  } catch (const std::exception& failure) {
    std::printf("ProvisionBench failed: %s\n", failure.what());
  }
  return 0;
}
