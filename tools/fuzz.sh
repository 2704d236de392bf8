#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, under AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/), and runs each for SECONDS (default 60), one after
# another. A target starts from its seed corpus fuzz/corpus/<target>/ and from what its earlier
# runs found (build-fuzz/corpus/<target>/), so that runs add up. An input that breaks a target is
# kept in build-fuzz/crashes/<target>/, its log is shown, and the script fails.
# Usage: tools/fuzz.sh [SECONDS [TARGET...]]; the targets are the folders of fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || { echo "usage: $0 [SECONDS [TARGET...]]" >&2; exit 2; }
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for folder in fuzz/corpus/*/; do targets+=("$(basename "$folder")"); done
fi
build=build-fuzz
# The readers' scratch files on a memory file system, where the flush of a save costs nothing.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
CC=clang CXX=clang++ cmake -S . -B "$build" -DVESTRA_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
for target in "${targets[@]}"; do
  program=$build/fuzz/fuzz_$target
  [ -x "$program" ] || { echo "fuzz: no target $target" >&2; exit 2; }
  corpus=$build/corpus/$target
  crashes=$build/crashes/$target
  log=$build/$target.log
  mkdir -p "$corpus" "$crashes"
  if ! "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target broke; the input is in $crashes/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target: $runs inputs in $seconds s, corpus of $(find "$corpus" -type f | wc -l)"
done
