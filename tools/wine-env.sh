# Sourced by the Wine scripts (tools/wine-test.sh, tools/bench-windows.sh): a fresh Wine prefix
# on a virtual X display (every Qt program under Wine needs one, even a console one, or it
# hangs), and the Linux simulated unit behind Wine's COM3. Everything goes when the script ends.
# Needs: $linux (a Linux build folder with vestra-sim), $win (build-windows).
qt=$(realpath "$(sed -n 's/^Qt6_DIR:PATH=//p' "$win/CMakeCache.txt")/../../..")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
name=vestra-$version-windows-x64
stage=$win/stage/$name

work=$(mktemp -d /tmp/vestra-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no question about Mono or Gecko
xvfb=""
sim=""
units=()
wine_cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  for unit in "${units[@]}"; do kill "$unit" 2>/dev/null; done
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap wine_cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
wineboot -i >/dev/null 2>&1
wineserver -w

winpath() { winepath -w "$1" 2>/dev/null; }

# The programs built but not staged (tests, benchmarks) find Qt's DLLs through this WINEPATH,
# its plugins and Russian texts through the qt.conf that `qt_conf FOLDER` puts beside them.
qt_winepath="$(winpath "$qt/bin");$(winpath /usr/lib/gcc/x86_64-w64-mingw32/12-posix);$(winpath /usr/x86_64-w64-mingw32/lib)"
qt_conf() {
  printf '[Paths]\nPrefix = %s\nTranslations = %s\n' "$(winpath "$qt" | tr '\\' /)" \
    "$(winpath /usr/share/qt6/translations | tr '\\' /)" >"$1/qt.conf"
}

# Starts the Linux simulated unit with the options given, behind COM3; its command log is
# $work/sim.log and its pseudo-terminal $pty. A unit started before goes first.
start_sim() {
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null || true
  fi
  rm -f "$work/sim.out" "$WINEPREFIX/dosdevices/com3"
  "$linux/sim/vestra-sim" --log "$work/sim.log" "$@" >"$work/sim.out" &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  pty=$(head -n1 "$work/sim.out")
  ln -s "$pty" "$WINEPREFIX/dosdevices/com3"
}

# One more simulated unit that arrives on port NAME (COM4, ...), with the options given: its
# pseudo-terminal linked as Wine's device and the port named where Windows' serial drivers name
# theirs (HARDWARE\DEVICEMAP\SERIALCOMM), which is what a station watches. Its command log is
# $work/NAME.log; `unplug_units` ends every such unit.
plug_unit() {
  local port=$1 device=${1,,}
  shift
  rm -f "$work/$port.out" "$work/$port.log" "$WINEPREFIX/dosdevices/$device"
  "$linux/sim/vestra-sim" --log "$work/$port.log" "$@" >"$work/$port.out" &
  units+=($!)
  for _ in $(seq 50); do [ -s "$work/$port.out" ] && break; sleep 0.1; done
  ln -s "$(head -n1 "$work/$port.out")" "$WINEPREFIX/dosdevices/$device"
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "$port" /d "$port" /f >/dev/null 2>&1
}
unplug_units() {
  for unit in "${units[@]}"; do
    kill "$unit" 2>/dev/null
    wait "$unit" 2>/dev/null || true
  done
  units=()
}
