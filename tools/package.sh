#!/usr/bin/env bash
# Builds the Debian package of the configurator and prints its path. Without an argument it makes
# a release build of the programs alone in build-package; with a build folder it packages what
# that folder holds (CI packages the build it has just tested).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
  tools/setup.sh
  dir=build-package
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVESTRA_TESTS=OFF >/dev/null
else
  dir=$1
fi
cmake --build "$dir" -j"$(nproc)" >/dev/null
rm -f "$dir"/vestra_*.deb
# cpack talks on stderr even when it succeeds; show its words only on failure.
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
ls "$PWD/$dir"/vestra_*.deb
