#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a plain build, and one under
# AddressSanitizer and UndefinedBehaviorSanitizer; builds an optimised configuration as well and
# runs every fuzz target for a minute (tools/fuzz.sh). Then the Debian source and binary packages
# are built with dpkg-buildpackage and checked (lintian, their contents), and built once more to
# see that the same source gives the same bytes.
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
# Inlining brings warnings of its own: an optimised build, tests included, must build as well.
# Building it is the check; its tests are those above.
cmake -S . -B build-test-optimised -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test-optimised -j"$jobs"
# Every fuzz target for a minute, under AddressSanitizer and UndefinedBehaviorSanitizer.
tools/fuzz.sh 60
# The Windows build, its setup program and zip, and its tests under Wine against the plain
# build's simulated unit.
tools/windows.sh >/dev/null
tools/wine-test.sh build-test-plain
# The tests ran twice above, so the package builds leave them out; dpkg-buildpackage without
# nocheck runs them once more through dh_auto_test.
export DEB_BUILD_OPTIONS=nocheck
changes=$(tools/package.sh | grep '\.changes$')
tools/check-package.sh "$changes"
# Reproducible: another folder, another umask, a later time (the dates come from the changelog).
(umask 002 && tools/package.sh build-package-again >/dev/null)
for deb in build-package/*.deb; do
  cmp "$deb" "build-package-again/${deb##*/}" || { echo "$deb: not reproducible" >&2; exit 1; }
done
echo "All tests passed (plain and sanitized)."
