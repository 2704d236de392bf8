#!/usr/bin/env bash
# Screenshots of the station's operator window under a virtual X display, its slots on simulated
# units in every phase: docs/station-3.png (3 slots on 1366×768) and docs/station-16.png (16
# slots on 1920×1080).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${VESTRA_STATION_SLOTS:-}" ]; then
  tools/setup.sh
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target vestra vestra-station vestra-cli vestra-sim
  VESTRA_STATION_SLOTS=3 xvfb-run -a -s "-screen 0 1366x768x24" "$0"
  VESTRA_STATION_SLOTS=16 xvfb-run -a -s "-screen 0 1920x1080x24" "$0"
  echo "Screenshots in docs/: station-3.png station-16.png"
  exit 0
fi

slots=$VESTRA_STATION_SLOTS
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A unit to read the template from, then the table: a label (as a barcode carries it) and a
# phone per row. The units are COM1, COM2... in a settings store of the script's own.
build/sim/vestra-sim --link "$work/template.tty" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/template.tty" ] && break; sleep 0.1; done
build/cli/vestra-cli read --port "$work/template.tty" -o "$work/line1.ini" 2>/dev/null
kill "${pids[0]}"
{
  echo "Unit,PhoneSMS1"
  for n in $(seq 40); do printf 'L1-%04d,+7900%07d\n' "$n" "$n"; done
} >"$work/units.csv"
ports=""
for n in $(seq "$slots"); do ports+="--port COM$n "; done
cat >"$work/line1.conf" <<CONF
TEMPLATE=line1.ini
UNITS=units.csv
OPTIONS="${ports}--station line1 --scan"
CONF

openbox &
pids+=($!)
sleep 1
build/cli/vestra-station "$work/line1.conf" &
pids+=($!)
window=$(xdotool search --sync --name 'Станция Вестра' | head -n1)
xdotool windowmove "$window" 0 0
# The whole screen but the window manager's title bar.
read -r width height < <(xwininfo -root | awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}')
xdotool windowsize "$window" "$width" $((height - 30))
sleep 2

label=0
scan() {  # the next label, typed as a scanner types it
  label=$((label + 1))
  xdotool type --delay 15 "$(printf 'L1-%04d' "$label")"
  xdotool key Return
  sleep 0.4
}
plug() {  # slot, options of the simulated unit
  local slot=$1
  shift
  build/sim/vestra-sim --com "COM$slot" "$@" >/dev/null &
  pids+=($!)
  sleep 1
}

# Done, failed (the unit keeps another phone: a difference), writing (a slow unit), a unit that
# waits for its label, and slots that wait for a unit.
done_slots=$((slots > 3 ? 7 : 1))
failed_slots=$((slots > 3 ? 2 : 1))
slow_slots=$((slots > 3 ? 4 : 1))
waiting_label=$((slots > 3 ? 1 : 0))
slot=0
for _ in $(seq "$done_slots"); do slot=$((slot + 1)); scan; plug "$slot"; done
for _ in $(seq "$failed_slots"); do slot=$((slot + 1)); scan; plug "$slot" --keep P01=70000000000; done
sleep 2
for _ in $(seq "$slow_slots"); do slot=$((slot + 1)); scan; plug "$slot" --delay 400; done
for _ in $(seq "$waiting_label"); do slot=$((slot + 1)); plug "$slot"; done
# A label scanned a second time: refused.
label=0
scan
sleep 2
import -window root "docs/station-$slots.png"
