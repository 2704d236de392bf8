#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a plain build, and one under
# AddressSanitizer and UndefinedBehaviorSanitizer. Then the Debian package, a release build of
# the programs alone, is made and checked: lintian and its contents.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)
for variant in plain sanitize; do
  dir=build-test-$variant
  flag=OFF
  [ "$variant" = sanitize ] && flag=ON
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DVESTRA_SANITIZE=$flag >/dev/null
  cmake --build "$dir" -j"$jobs"
  # A suite runs its tests one at a time, and they mostly wait on the unit's timing: let every
  # suite run at once, more than there are cores.
  (cd "$dir" && ctest --output-on-failure -j"$((jobs * 4))")
done
# The Windows build, its setup program and zip, and its tests under Wine against the plain
# build's simulated unit.
tools/windows.sh >/dev/null
tools/wine-test.sh build-test-plain
deb=$(tools/package.sh)
tools/check-package.sh "$deb"
echo "All tests passed (plain and sanitized)."
