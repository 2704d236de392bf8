#!/usr/bin/env bash
# Screenshots of the running configurator under a virtual X display, with a simulated unit:
# both pages after a read, the options panel, and the wait panel during a read. Into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${VESTRA_SCREENSHOT_DISPLAY_READY:-}" ]; then
  tools/setup.sh
  # xdotool plays the person; openbox draws the title bars, so that the captions show.
  if ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      xdotool openbox
  fi
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target vestra vestra-sim
  exec env VESTRA_SCREENSHOT_DISPLAY_READY=1 xvfb-run -a -s "-screen 0 1024x800x24" "$0"
fi

# A settings store of its own, so that the person's settings stay as they are.
config=$(mktemp -d)
export XDG_CONFIG_HOME="$config"
mkdir -p "$config/Mirotan"
printf '[General]\nCBPort.ItemIndex=0\nWindowPosition=@Point(20 20)\n' >"$config/Mirotan/TindraSetup.conf"

out="$config/sim.out"
# Each answer a little late, so that a read lasts long enough to photograph its wait panel.
build/sim/vestra-sim --com COM1 --delay 120 >"$out" &
sim=$!
program=""
wm=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  kill "$sim" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$config"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done

openbox &
wm=$!
sleep 1
build/vestra &
program=$!
window=$(xdotool search --sync --name 'Конфигуратор Вестра' | head -n1)
sleep 1
# The client area on the screen (xdotool counts the frame twice under a window manager).
info=$(xwininfo -id "$window")
X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
WIDTH=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
menu=$((HEIGHT - 703))  # the menu bar above the client area
# The frame that the window manager adds: left, right, top, bottom.
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS |
  sed 's/.*= //; s/,//g')
crop="$((WIDTH + left + right))x$((HEIGHT + top + bottom))+$((X - left))+$((Y - top))"

click() {  # x y, relative to the window
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
  sleep 0.5
}
shot() { import -window root -crop "$crop" "docs/$1"; }

click 141 $((menu + 16))  # "Прочитать"
sleep 1
shot wait-panel.png
# The panel is unmapped once the read is over.
for _ in $(seq 150); do
  xdotool search --onlyvisible --name 'Выполнение операции' >/dev/null || break
  sleep 0.2
done
sleep 0.5
shot window.png

click $((314 + 110)) $((menu + 12))  # tab "Системные"
shot window-system.png

click 22 10  # menu "Файл"
click 60 $((10 + 70))  # "Опции..."
sleep 0.5
shot options.png
xdotool key Escape
echo "Screenshots in docs/: window.png window-system.png options.png wait-panel.png"
