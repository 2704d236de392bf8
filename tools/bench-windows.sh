#!/usr/bin/env bash
# A full read of the configuration through Wine's serial layer against the simulated unit at
# 115200 Bd answering after 2 ms, and the same read by the Linux build in the same run, on the
# same unit. Prints both figures and their ratio (goal: within 1.3 times). Then the batch station
# under Wine in the same run: one unit on one slot against three units plugged at once into
# three slots (units at 115200 Bd answering after 2 ms; goal: three within 1.5 times one), each
# from the start of vestra-cli.exe to its end; a station of one port, which needs no worker
# process, is printed beside them. Needs build-windows from tools/windows.sh.
# Usage: tools/bench-windows.sh [LINUX_BUILD] [READS]
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

# The station: the template read from the unit, a table of three rows, a fresh record each time.
"$linux/cli/vestra-cli" read --port "$pty" -o "$work/template.ini" >/dev/null 2>&1
printf 'Unit;PhoneSMS1\r\nБлок 1;+7 900 000-00-01\r\nБлок 2;+7 900 000-00-02\r\nБлок 3;+7 900 000-00-03\r\n' \
  >"$work/units.csv"
start_sim --baud 115200 --delay 2
plug_unit COM4 --baud 115200 --delay 2
plug_unit COM5 --baud 115200 --delay 2
qt_conf "$(dirname "$stage/vestra-cli.exe")"
station_seconds() {  # database, units, ports...
  local db=$1 units=$2 ports=() start end
  shift 2
  for port in "$@"; do ports+=(--port "$port"); done
  start=$(date +%s.%N)
  timeout 300 wine "$stage/vestra-cli.exe" provision "$(winpath "$work/template.ini")" \
    --units "$(winpath "$work/units.csv")" --db "$(winpath "$work/$db")" "${ports[@]}" \
    --count "$units" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }'
}
one=$(station_seconds one.db 1 COM3)
# The same unit on a station of slots (COM6 has no unit): its worker's start counts too.
worker=$(station_seconds worker.db 1 COM3 COM6)
three=$(station_seconds three.db 3 COM3 COM4 COM5)
echo "Station under Wine: 1 unit on 1 port ${one} s, on 1 of 2 slots ${worker} s, 3 units on 3 slots ${three} s"
awk -v o="$worker" -v t="$three" \
  'BEGIN { printf "three slots / one slot: %.2f (goal: at most 1.50)\n", t / o }'
