// How long a full read and a full write of the configuration take against a simulated unit at
// firmware 3.00, compared with what the protocol itself costs, and how much CPU they burn.
//
// Two units: one that answers at once, and one that answers 2 ms after each command on a line
// of 115200 baud. For each operation it prints the figures of bench/BenchFigures.h: commands,
// wall time, time per command, the physical floor (the unit's delays and the bytes' time on the
// line) and the ratio to it, the old floor with 20 ms of quiet per answer, and the CPU time of
// this process as a share of the wall time. It prints figures only and always exits 0.
#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFigures.h"
#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"
#include "tests/support/WindowTest.h"

namespace {

using namespace BenchFigures;

// Runs `operation` and measures it against the unit's command log and the person's log.
template <class TOperation>
TFigures Measure(TFmMain& form, TScriptedPerson& person, TSimUnit& unit, TOperation operation) {
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

  // Commands sent, from the unit's log. The final command of a write is not answered and may
  // reach that log a moment after the operation returned.
  auto commands = unit.Commands();
  bool finalSent = !person.LogLines.empty() && person.LogLines.back() == "#S\r";
  for (int i = 0; i < 100 && finalSent && commands.back() != "#S"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    commands = unit.Commands();
  }
  for (std::size_t i = commandsBefore; i < commands.size(); ++i) {
    ++f.Commands;
    if (commands[i] != "#S") ++f.Answered;  // the final command gets no answer
  }
  // The person's log holds every command and every message received, byte for byte.
  for (const auto& line : person.LogLines) f.LineBytes += line.size();
  return f;
}

void Print(const TScenario& scenario, const char* operation, const TFigures& f) {
  PrintRow(scenario.Name, operation, f, scenario.DelayMs, scenario.Baud, scenario.Goal);
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
  MapPort("COM3", unit.PtyPath());
  TScriptedPerson person;
  TFmMain form;
  form.SetPerson(&person);
  form.CBPort->SetItemIndex(2);
  form.CBManualCorrCoef->SetChecked(true);  // every code travels
  form.CBSetTime->SetChecked(true);

  Print(scenario, "read", Measure(form, person, unit, [](TFmMain& f) { f.ActReadExecute(); }));
  Print(scenario, "write", Measure(form, person, unit, [](TFmMain& f) { f.ActWriteExecute(); }));
  form.SetPerson(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // A display is not needed, and the user's own settings store stays untouched.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);

  PrintHeader();
  for (const TScenario& scenario :
       {TScenario{"3.00, answers at once", 0, 0, TGoal::AtOnce},
        TScenario{"3.00, 2 ms delay, 115200 Bd", 2, 115200, TGoal::Paced}}) {
    try {
      Run(scenario);
    } catch (const std::exception& e) {
      std::printf("%-28s could not run: %s\n", scenario.Name, e.what());
    }
  }
  PrintGoals();
  return 0;
}
