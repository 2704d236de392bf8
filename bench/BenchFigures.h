// The figures the exchange benchmarks print, one row per operation, and the goals they are held
// against.
//
// The physical floor of an operation is what the unit and the line cost at the least: per
// answered command the unit's own delay, plus the time every byte of the commands and answers
// takes on the line at the pace set (none when unpaced). The old floor adds the 20 ms of quiet
// that once ended every answer; it is printed for comparison only.
#pragma once

#include <time.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace BenchFigures {

// What a scenario is held against.
enum class TGoal {
  None,
  AtOnce,  // the unit answers at once, unpaced: under 4 ms per command, 5 times under the old floor
  Paced,   // the unit answers after a delay on a paced line: within 1.3 times the physical floor
};

// One unit to measure against: its delay, its line's pace, and what it is held against.
struct TScenario {
  const char* Name;
  int DelayMs;
  long Baud;  // 0: no pacing
  TGoal Goal;
};

constexpr double kOldQuietMs = 20;
constexpr double kAtOnceMsPerCommand = 4;
constexpr double kAtOnceSpeedUp = 5;
constexpr double kPacedRatio = 1.3;
constexpr double kCpuShare = 5;  // percent of wall

struct TFigures {
  std::size_t Commands = 0;   // sent
  std::size_t Answered = 0;   // of them, those that wait for an answer
  std::size_t LineBytes = 0;  // commands and answers
  double WallMs = 0, CpuMs = 0;
  std::string Failure;
};

// This process's CPU time, all threads, to the nanosecond rather than to the scheduler's tick.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

inline double FloorMs(const TFigures& f, int delayMs, long baud) {
  double lineMs = baud > 0 ? static_cast<double>(f.LineBytes) * 10 * 1000 / baud : 0;
  return static_cast<double>(f.Answered) * delayMs + lineMs;
}

inline void PrintHeader() {
  std::printf("%-28s %-10s %4s %8s %6s %8s %5s %9s %7s %7s %8s  %s\n", "unit", "op", "cmds",
              "wall ms", "ms/cmd", "floor ms", "ratio", "old floor", "speedup", "cpu/cmd",
              "cpu/wall", "goals");
}

// One row: the figures, the ratio to the physical floor, the speed-up against the old floor,
// and whether the goals of the scenario were met.
inline void PrintRow(const char* unit, const char* operation, const TFigures& f, int delayMs,
                     long baud, TGoal goal) {
  const double floorMs = FloorMs(f, delayMs, baud);
  const double oldFloorMs = floorMs + kOldQuietMs * static_cast<double>(f.Answered);
  const double perCommand = f.Commands > 0 ? f.WallMs / static_cast<double>(f.Commands) : 0;
  const double ratio = floorMs > 0 ? f.WallMs / floorMs : 0;
  const double speedUp = f.WallMs > 0 ? oldFloorMs / f.WallMs : 0;
  const double cpuShare = f.WallMs > 0 ? 100 * f.CpuMs / f.WallMs : 0;

  std::string missed;
  auto check = [&missed](bool met, const char* what) {
    if (!met) missed += missed.empty() ? what : std::string(", ") + what;
  };
  if (goal == TGoal::AtOnce) {
    check(perCommand < kAtOnceMsPerCommand, "ms/cmd");
    check(speedUp >= kAtOnceSpeedUp, "speedup");
  }
  if (goal == TGoal::Paced) check(ratio <= kPacedRatio, "ratio");
  if (goal != TGoal::None) check(cpuShare < kCpuShare, "cpu");
  std::string verdict = goal == TGoal::None ? "-" : missed.empty() ? "met" : "missed: " + missed;
  if (!f.Failure.empty()) verdict += "; failed: " + f.Failure;

  char ratioText[16] = "-";
  if (floorMs > 0) std::snprintf(ratioText, sizeof ratioText, "%.2f", ratio);
  const double cpuPerCommand = f.Commands > 0 ? f.CpuMs / static_cast<double>(f.Commands) : 0;
  std::printf("%-28s %-10s %4zu %8.1f %6.2f %8.1f %5s %9.1f %6.1fx %7.3f %7.2f%%  %s\n", unit,
              operation, f.Commands, f.WallMs, perCommand, floorMs, ratioText, oldFloorMs, speedUp,
              cpuPerCommand, cpuShare, verdict.c_str());
}

inline void PrintGoals() {
  std::printf(
      "goals: unit answering at once (unpaced): under %.0f ms per command and %.0f times under the "
      "old floor;\n       unit answering after a delay on a paced line: within %.1f times the "
      "physical floor;\n       both: CPU under %.0f %% of wall\n",
      kAtOnceMsPerCommand, kAtOnceSpeedUp, kPacedRatio, kCpuShare);
}

}  // namespace BenchFigures
