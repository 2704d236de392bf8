// How long one command takes against the simulated unit, against what the unit and the line
// cost at the least, and how much processor time the wait costs. An answer is handed out as soon
// as its CR has come, so a command should cost the unit's delay and the bytes' time on the line,
// and the wait should leave the processor alone.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "bench/BenchFigures.h"
#include "link/Link.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace BenchFigures;

void Measure(const TScenario& scenario) {
  constexpr int kRuns = 200;
  const std::string command = "#RG03\r";
  std::vector<std::string> args;
  if (scenario.DelayMs > 0) args.insert(args.end(), {"--delay", std::to_string(scenario.DelayMs)});
  if (scenario.Baud > 0) args.insert(args.end(), {"--baud", std::to_string(scenario.Baud)});
  TSimUnit sim(std::move(args));
  TScriptedPerson person;
  TLink link(&person, [&sim](const std::string&) { return sim.PtyPath(); });
  if (!link.OpenPort("COM1").empty()) {
    std::printf("%s: cannot open %s\n", scenario.Name, sim.PtyPath().c_str());
    return;
  }
  const std::string answer = link.ExecuteCommand(command);  // warms up both ends
  std::vector<double> times;
  TFigures f;
  const double cpuStart = CpuSeconds();
  const auto wallStart = TClock::now();
  for (int i = 0; i < kRuns; ++i) {
    auto start = TClock::now();
    std::string got = link.ExecuteCommand(command);
    times.push_back(std::chrono::duration<double, std::milli>(TClock::now() - start).count());
    if (got != answer) f.Failure = "unexpected answer in run " + std::to_string(i);
    person.LogLines.clear();
  }
  f.WallMs = std::chrono::duration<double, std::milli>(TClock::now() - wallStart).count();
  f.CpuMs = (CpuSeconds() - cpuStart) * 1000;
  f.Commands = f.Answered = kRuns;
  f.LineBytes = kRuns * (command.size() + answer.size());
  PrintRow(scenario.Name, "200x #RG03", f, scenario.DelayMs, scenario.Baud, scenario.Goal);
  std::sort(times.begin(), times.end());
  std::printf("%-28s one command: median %.2f ms, min %.2f, 90%% %.2f, max %.2f\n", "",
              times[kRuns / 2], times.front(), times[kRuns * 9 / 10], times.back());
}

}  // namespace

int main() {
  PrintHeader();
  for (const TScenario& scenario : {
           TScenario{"answers at once, unpaced", 0, 0, TGoal::AtOnce},
           TScenario{"answers at once, 115200 Bd", 0, 115200, TGoal::None},
           TScenario{"answers at once, 9600 Bd", 0, 9600, TGoal::None},
           TScenario{"2 ms delay, 115200 Bd", 2, 115200, TGoal::Paced},
       }) {
    try {
      Measure(scenario);
    } catch (const std::exception& e) {
      std::printf("%-28s could not run: %s\n", scenario.Name, e.what());
    }
  }
  PrintGoals();
  return 0;
}
