#!/usr/bin/env bash
# A screenshot of the comparison dialog into docs/compare.png: the window reads one simulated
# unit, then a second unit with a few other values takes its port, and "Сравнить с Вестрой..."
# shows what differs. BUILD names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}

if [ -z "${VESTRA_SCREENSHOT_DISPLAY_READY:-}" ]; then
  tools/setup.sh
  if ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      xdotool openbox
  fi
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target vestra vestra-sim
  exec env VESTRA_SCREENSHOT_DISPLAY_READY=1 xvfb-run -a -s "-screen 0 1024x800x24" "$0"
fi

# A settings store of its own, so that the person's settings stay as they are.
config=$(mktemp -d)
export XDG_CONFIG_HOME="$config"
mkdir -p "$config/Mirotan"
printf '[General]\nCBPort.ItemIndex=0\nWindowPosition=@Point(20 20)\n' >"$config/Mirotan/TindraSetup.conf"

sim=""
program=""
wm=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$config"
}
trap cleanup EXIT
unit() {  # starts a simulated unit on COM1 with these options, once the previous one is gone
  [ -n "$sim" ] && kill "$sim" && wait "$sim" 2>/dev/null || true
  "$build/sim/vestra-sim" --com COM1 "$@" >"$config/sim.out" &
  sim=$!
  for _ in $(seq 50); do [ -s "$config/sim.out" ] && break; sleep 0.1; done
  : >"$config/sim.out"
}

unit
openbox &
wm=$!
sleep 1
"$build/vestra" &
program=$!
window=$(xdotool search --sync --name 'Конфигуратор Вестра' | head -n1)
sleep 1
info=$(xwininfo -id "$window")
X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
WIDTH=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
menu=$((HEIGHT - 703))
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
crop="$((WIDTH + left + right))x$((HEIGHT + top + bottom))+$((X - left))+$((Y - top))"
click() {  # x y, relative to the window
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
  sleep 0.5
}

click 141 $((menu + 16))  # "Прочитать"
sleep 3
# The window writes phone numbers without their "+": this unit holds them so, and differs in a
# list, a check box, a server and a text.
unit --set P01=70000000001 --set P02=70000000002 --set P03=70000000003 --set M02=2 \
  --set M09=0 --set S02=10,0,0,200 --set G03=internet.other
click 125 10  # menu "Сервис"
click 160 $((10 + 22))  # "Сравнить с Вестрой..."
timeout 20 xdotool search --sync --onlyvisible --name 'Сравнение с Вестрой' >/dev/null ||
  echo "The comparison dialog did not show" >&2
sleep 1
import -window root -crop "$crop" docs/compare.png
echo "Screenshot in docs/compare.png"
