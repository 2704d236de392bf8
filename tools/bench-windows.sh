#!/usr/bin/env bash
# A full read of the configuration through Wine's serial layer against the simulated unit at
# 115200 Bd answering after 2 ms, and the same read by the Linux build in the same run, on the
# same unit. Prints both figures and their ratio (goal: within 1.3 times). Needs build-windows
# from tools/windows.sh. Usage: tools/bench-windows.sh [LINUX_BUILD] [READS]
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
win=$repo/build-windows
linux=$repo/${1:-build}
reads=${2:-5}
[ -d "$linux" ] || cmake -S . -B "$linux" >/dev/null
cmake --build "$linux" -j"$(nproc)" --target vestra-sim bench_PortReadBench >/dev/null
. tools/wine-env.sh

start_sim --baud 115200 --delay 2
linux_line=$("$linux/bench/bench_PortReadBench" "$pty" "$reads" 2>/dev/null)
export WINEPATH=$qt_winepath
qt_conf "$win/bench"
wine_line=$(timeout 300 wine "$win/bench/bench_PortReadBench.exe" '\\.\COM3' "$reads" 2>/dev/null |
  tr -d '\r')
echo "Linux: $linux_line"
echo "Wine:  $wine_line"
median() { sed -n 's/.*median \([0-9.]*\) ms.*/\1/p' <<<"$1"; }
awk -v l="$(median "$linux_line")" -v w="$(median "$wine_line")" \
  'BEGIN { printf "Wine / Linux: %.2f (goal: at most 1.30)\n", w / l }'
