#!/usr/bin/env bash
# Builds the Debian package of the configurator in build-package and prints its path: a release
# build of the programs alone, with Debian's hardening flags (stack protector, fortified
# functions, read-only relocations bound at start, PIE), stripped as Debian strips.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh >&2  # standard output carries only the package's path
dir=build-package
# No debugging information: the programs are stripped and no debug package is made, so it would
# only slow the build.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --export=sh)"
# Dated by the changelog, as Debian's builds date what they make (the manual pages).
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l dist/changelog -STimestamp)
export SOURCE_DATE_EPOCH
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVESTRA_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_STRIP="$PWD/dist/strip-for-debian" >/dev/null
cmake --build "$dir" -j"$(nproc)" >/dev/null
rm -f "$dir"/vestra_*.deb
# cpack talks on stderr even when it succeeds; show its words only on failure.
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
ls "$PWD/$dir"/vestra_*.deb
