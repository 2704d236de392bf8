#!/usr/bin/env bash
# Builds the configurator and starts it with a simulated unit on COM1, so that "Прочитать"
# works at once. The simulated unit stops when the configurator ends.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target vestra vestra-sim

# Select COM1 in the options when no port was chosen before; a chosen port is left alone.
store="${XDG_CONFIG_HOME:-$HOME/.config}/Mirotan/TindraSetup.conf"
mkdir -p "$(dirname "$store")"
touch "$store"
if ! grep -Eq '^CBPort\.ItemIndex=([0-9]|1[0-9]|2[0-3])$' "$store"; then
  sed -i '/^CBPort\.ItemIndex=/d' "$store"
  if grep -q '^\[General\]' "$store"; then
    sed -i '/^\[General\]/a CBPort.ItemIndex=0' "$store"
  else
    { printf '[General]\nCBPort.ItemIndex=0\n\n'; cat "$store"; } >"$store.new"
    mv "$store.new" "$store"
  fi
fi

out=$(mktemp)
build/sim/vestra-sim --com COM1 >"$out" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do
  [ -s "$out" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "The simulated unit did not start." >&2; exit 1; }
  sleep 0.1
done
pty=$(head -n1 "$out")
echo "Simulated unit on COM1: $pty"
echo "(to talk to it by hand instead: socat - $pty,raw,echo=0)"
build/vestra
