// How long one command takes against a unit that answers at once, and how much processor time
// the wait costs. A command should take the 20 ms quiet time that ends a burst plus the time
// the answer needs on the line, and the wait should leave the processor alone.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "link/Link.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

namespace {

using TClock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Measure(const char* title, std::vector<std::string> args, long baud) {
  constexpr int kRuns = 200;
  const std::string command = "#RG03\r";
  TSimUnit sim(std::move(args));
  TScriptedPerson person;
  TLink link(&person, [&sim](const std::string&) { return sim.PtyPath(); });
  if (!link.OpenPort("COM1").empty()) {
    std::printf("%s: cannot open %s\n", title, sim.PtyPath().c_str());
    return;
  }
  std::string answer = link.ExecuteCommand(command);  // warms up both ends
  std::vector<double> times;
  double cpuStart = CpuSeconds();
  auto wallStart = TClock::now();
  for (int i = 0; i < kRuns; ++i) {
    auto start = TClock::now();
    std::string got = link.ExecuteCommand(command);
    times.push_back(std::chrono::duration<double, std::milli>(TClock::now() - start).count());
    if (got != answer) std::printf("%s: unexpected answer in run %d\n", title, i);
    person.LogLines.clear();
  }
  double wall = std::chrono::duration<double>(TClock::now() - wallStart).count();
  double cpu = CpuSeconds() - cpuStart;
  std::sort(times.begin(), times.end());
  double median = (times[kRuns / 2 - 1] + times[kRuns / 2]) / 2;
  double transferMs = baud > 0 ? answer.size() * 10 * 1000.0 / baud : 0;
  double expected = 20 + transferMs;
  std::printf(
      "%s: %d x ExecuteCommand(\"#RG03\"), answer %zu bytes\n"
      "  median %.2f ms (min %.2f, 90%% %.2f, max %.2f)\n"
      "  expected 20 ms + %.2f ms transfer = %.2f ms; ratio %.3f (goal <= 1.10)\n"
      "  CPU %.3f s of %.3f s wall = %.2f %% (goal < 5 %%)\n",
      title, kRuns, answer.size(), median, times.front(), times[kRuns * 9 / 10], times.back(),
      transferMs, expected, median / expected, cpu, wall, 100 * cpu / wall);
}

}  // namespace

int main() {
  try {
    Measure("unit answering at once, unpaced line", {}, 0);
    Measure("unit answering at once, 9600 baud", {"--baud", "9600"}, 9600);
    Measure("unit answering at once, 115200 baud", {"--baud", "115200"}, 115200);
  } catch (const std::exception& e) {
    std::printf("benchmark could not run: %s\n", e.what());
  }
  return 0;
}
