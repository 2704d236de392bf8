// How long a full read and a full write of the configuration take against a simulated unit at
// firmware 3.00, compared with what the protocol itself costs, and how much CPU they burn.
//
// Two units: one that answers at once, and one that answers 2 ms after each command and sends at
// 115200 baud. For each operation it prints the wall time, the number of commands, the protocol
// floor (per command 20 ms plus the unit's answer time: its delay and the time the answer's bytes
// take on the line), their ratio, and the CPU time of this process as a share of the wall time.
// It prints figures only and always exits 0.
#include <sys/resource.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TScenario {
  const char* Name;
  int DelayMs;
  int Baud;  // 0: no pacing
};

struct TFigures {
  double WallMs = 0, CpuMs = 0, FloorMs = 0;
  std::size_t Commands = 0, Answered = 0;
  std::string Failure;
};

// Runs `operation` and measures it against the unit's command log and the person's log.
template <class TOperation>
TFigures Measure(TFmMain& form, TScriptedPerson& person, TSimUnit& unit, const TScenario& scenario,
                 TOperation operation) {
  std::size_t commandsBefore = unit.Commands().size();
  person.LogLines.clear();
  person.Boxes.clear();

  double cpu0 = CpuSeconds();
  auto wall0 = std::chrono::steady_clock::now();
  operation(form);
  auto wall1 = std::chrono::steady_clock::now();
  double cpu1 = CpuSeconds();

  TFigures f;
  f.WallMs = std::chrono::duration<double, std::milli>(wall1 - wall0).count();
  f.CpuMs = (cpu1 - cpu0) * 1000;
  for (const auto& box : person.Boxes)
    if (!box.Question) f.Failure = box.Text;

  // Commands sent, and the bytes that came back (the log holds both). The final command of a
  // write is not answered and may reach the unit's log a moment after the operation returned.
  std::size_t sentBytes = 0;
  auto commands = unit.Commands();
  bool finalSent = !person.LogLines.empty() && person.LogLines.back() == "#S\r";
  for (int i = 0; i < 100 && finalSent && commands.back() != "#S"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    commands = unit.Commands();
  }
  for (std::size_t i = commandsBefore; i < commands.size(); ++i) {
    ++f.Commands;
    sentBytes += commands[i].size() + 1;
    if (commands[i] != "#S") ++f.Answered;  // the final command gets no answer
  }
  std::size_t loggedBytes = 0;
  for (const auto& line : person.LogLines) loggedBytes += line.size();
  std::size_t receivedBytes = loggedBytes > sentBytes ? loggedBytes - sentBytes : 0;
  double lineMs = scenario.Baud > 0 ? receivedBytes * 10.0 * 1000.0 / scenario.Baud : 0;
  f.FloorMs = static_cast<double>(f.Answered) * (20.0 + scenario.DelayMs) + lineMs;
  return f;
}

void Print(const char* scenario, const char* operation, const TFigures& f) {
  std::printf("%-28s %-6s %9.1f %9zu %9.1f %7.3f %8.2f%%%s%s\n", scenario, operation, f.WallMs,
              f.Commands, f.FloorMs, f.FloorMs > 0 ? f.WallMs / f.FloorMs : 0.0,
              f.WallMs > 0 ? 100.0 * f.CpuMs / f.WallMs : 0.0,
              f.Failure.empty() ? "" : "  failed: ", f.Failure.c_str());
}

void Run(const TScenario& scenario) {
  std::vector<std::string> args{"--firmware", "3.00"};
  if (scenario.DelayMs > 0) {
    args.push_back("--delay");
    args.push_back(std::to_string(scenario.DelayMs));
  }
  if (scenario.Baud > 0) {
    args.push_back("--baud");
    args.push_back(std::to_string(scenario.Baud));
  }
  TSimUnit unit(args);
  {
    QSettings settings("Mirotan", "TindraSetup");
    settings.setValue("Ports/COM3", QString::fromStdString(unit.PtyPath()));
    settings.sync();
  }
  TScriptedPerson person;
  TFmMain form;
  form.SetPerson(&person);
  form.CBPort->SetItemIndex(2);
  form.CBManualCorrCoef->SetChecked(true);  // every code travels
  form.CBSetTime->SetChecked(true);

  Print(scenario.Name, "read",
        Measure(form, person, unit, scenario, [](TFmMain& f) { f.ActReadExecute(); }));
  Print(scenario.Name, "write",
        Measure(form, person, unit, scenario, [](TFmMain& f) { f.ActWriteExecute(); }));
  form.SetPerson(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // A display is not needed, and the user's own settings store stays untouched.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);

  std::printf("%-28s %-6s %9s %9s %9s %7s %9s\n", "unit", "op", "wall ms", "commands", "floor ms",
              "ratio", "cpu/wall");
  for (const TScenario& scenario : {TScenario{"3.00, answers at once", 0, 0},
                                    TScenario{"3.00, 2 ms delay, 115200 Bd", 2, 115200}}) {
    try {
      Run(scenario);
    } catch (const std::exception& e) {
      std::printf("%-28s could not run: %s\n", scenario.Name, e.what());
    }
  }
  return 0;
}
