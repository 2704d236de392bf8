#!/usr/bin/env bash
# Builds Qt 6's base module for 64-bit Windows on Debian 12, from Debian's own qt6-base source
# package, with Debian's mingw-w64 cross compiler (POSIX threads) and Debian's Qt host tools
# (moc, rcc, uic of the same version). The result is a Qt prefix for Windows:
#   bin/*.dll, lib/*.a, lib/cmake/Qt6*, include/, plugins/ (platforms/qwindows.dll,
#   styles/qwindowsvistastyle.dll, ...), translations are not part of qtbase.
# Usage: qt6-mingw.sh PREFIX [JOBS]      (about an hour on 2 cores; needs apt-get as root)
#        qt6-mingw.sh --station PREFIX [JOBS]  (only what the batch station adds to a made prefix:
#                                             Qt's SQLite driver and libcsv, about two minutes)
# tools/windows.sh runs it once into its cache, unless a shared prefix made by these same steps
# (qt6-mingw-6.4.2.tar.xz with its checksum) can be unpacked instead; the station's part is a
# step of its own, so that a prefix unpacked or built before it gets it too.
set -euo pipefail
only_station=false
if [ "$1" = --station ]; then only_station=true; shift; fi
prefix=$(realpath -m "$1"); jobs=${2:-$(nproc)}
toolchain=$(realpath "$(dirname "$0")/mingw-w64.cmake")
work=$(mktemp -d /tmp/qt6-mingw.XXXX)
trap 'rm -rf "$work"' EXIT
apt-get update -qq
# tcl makes SQLite's amalgamation from its source tree.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-mingw-w64-x86-64-posix mingw-w64-tools \
  cmake ninja-build qt6-base-dev qt6-base-dev-tools dpkg-dev xz-utils tcl gcc make
# The source packages, through a private source list: the system's apt settings stay as they are.
mkdir -p "$work/apt/lists/partial"
echo "deb-src http://deb.debian.org/debian bookworm main" > "$work/apt/sources.list"
aptsrc=(-o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$work/apt/lists")
apt-get "${aptsrc[@]}" update -qq
(cd "$work" && apt-get "${aptsrc[@]}" source --download-only qt6-base=6.4.2+dfsg-10)
qtsrc=$work/qtbase-everywhere-src-6.4.2

# What the batch station adds. Qt's SQLite driver, a project of its own against the installed prefix (Qt 6 builds its SQL
# drivers so), with SQLite's amalgamation made from Debian's sqlite3 source: Debian's qt6-base
# leaves SQLite's copy out. The amalgamation goes where Qt's driver looks for its bundled copy.
build_station() {
  (cd "$work" && apt-get "${aptsrc[@]}" source --download-only sqlite3=3.40.1-2+deb12u2)
  tar -C "$work" -xJf "$work"/sqlite3_3.40.1.orig.tar.xz
  (cd "$work/sqlite3-3.40.1" && ./configure -q >/dev/null && make -s sqlite3.c >/dev/null)
  [ -d "$qtsrc/src/plugins/sqldrivers" ] ||
    tar -C "$work" -xJf "$work"/qt6-base_6.4.2+dfsg.orig.tar.xz \
      qtbase-everywhere-src-6.4.2/src/plugins/sqldrivers
  mkdir -p "$qtsrc/src/3rdparty/sqlite"
  cp "$work"/sqlite3-3.40.1/sqlite3.[ch] "$qtsrc/src/3rdparty/sqlite/"
  "$prefix/bin/qt-cmake" -G Ninja -S "$qtsrc/src/plugins/sqldrivers" -B "$work/sqlbuild" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=OFF -DFEATURE_sql_psql=OFF \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_mysql=OFF >/dev/null
  cmake --build "$work/sqlbuild" --parallel "$jobs"
  cmake --install "$work/sqlbuild" >/dev/null
  # The units table's CSV reader, Debian's libcsv (one C file), as a static library.
  (cd "$work" && apt-get "${aptsrc[@]}" source --download-only libcsv=3.0.3+dfsg-6)
  tar -C "$work" -xzf "$work"/libcsv_3.0.3+dfsg.orig.tar.gz
  x86_64-w64-mingw32-gcc-posix -O2 -c "$work/libcsv-3.0.3/libcsv.c" -o "$work/libcsv.o"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libcsv.a" "$work/libcsv.o"
  cp "$work/libcsv-3.0.3/csv.h" "$prefix/include/csv.h"
}
if $only_station; then
  build_station
  echo "$prefix/plugins/sqldrivers/qsqlite.dll"
  exit 0
fi

tar -C "$work" -xJf "$work"/qt6-base_6.4.2+dfsg.orig.tar.xz
# Qt 6.4.2's Windows platform plugin does not build without OpenGL: it asks for the dynamic GL
# loader even when OpenGL is off. Ask for it only when OpenGL is on.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$work"/qtbase-everywhere-src-6.4.2/src/plugins/platforms/windows/qwindowswindow.cpp
# The compiler as the project uses it; the prefix keeps a copy (below).
cp "$toolchain" "$work/mingw.cmake"
# Debian's source leaves out SQLite's own source (Debian links the system's), so the SQLite
# driver is built after Qt (build_station); it also leaves out the Wintab header, so tablet
# input is off. The bundled zlib, PCRE2, libpng, FreeType and HarfBuzz are used.
cmake -G Ninja -S "$work"/qtbase-everywhere-src-6.4.2 -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_system_zlib=OFF \
  -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_odbc=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF
cmake --build "$work/build" --parallel "$jobs"
cmake --install "$work/build"
# The prefix carries its own toolchain file and finds it relative to itself, so that it works
# wherever it is unpacked: configure a project with "$prefix/bin/qt-cmake".
cp "$work/mingw.cmake" "$prefix/mingw-w64.cmake"
sed -i 's|^set(__qt_initially_configured_toolchain_file ".*")$|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw-w64.cmake")|' \
  "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
rm -rf "$prefix/doc"
build_station
echo "$prefix"
