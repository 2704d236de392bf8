#!/usr/bin/env bash
# Builds the configurator for 64-bit Windows with Debian's mingw-w64: vestra.exe, vestra-cli.exe,
# the station's window vestra-station.exe and the test programs in build-windows/, then the
# Russian setup program and the portable zip, and prints their paths.
#
# Qt for Windows comes from a cache outside the work tree (VESTRA_CACHE, else
# ~/.cache/vestra): made once by tools/qt6-mingw.sh (about an hour on 2 cores), or unpacked from
# a prefix the same recipe made elsewhere when that is at hand and its checksum matches
# (VESTRA_TOOLCHAINS, else ../shared/toolchains beside the repository).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
tools/setup.sh >&2

qt_name=qt6-mingw-6.4.2
cache=${VESTRA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vestra}
qt=$cache/$qt_name
if [ ! -e "$qt/.complete" ]; then
  shared=${VESTRA_TOOLCHAINS:-$repo/../shared/toolchains}
  mkdir -p "$cache"
  rm -rf "$qt" "$qt.part"
  if [ -f "$shared/$qt_name.tar.xz" ] && [ -f "$shared/$qt_name.tar.xz.sha256" ] &&
     (cd "$shared" && sha256sum --quiet -c "$qt_name.tar.xz.sha256") >&2; then
    echo "Qt for Windows: unpacking $shared/$qt_name.tar.xz into $cache" >&2
    mkdir -p "$qt.part"
    tar -xJf "$shared/$qt_name.tar.xz" -C "$qt.part"
    mv "$qt.part/$qt_name" "$qt"
    rmdir "$qt.part"
  else
    echo "Qt for Windows: building it once into $qt (about an hour on 2 cores)" >&2
    tools/qt6-mingw.sh "$qt.part" "$(nproc)" >&2
    mv "$qt.part" "$qt"
  fi
  touch "$qt/.complete"
fi
# The batch station's part of the prefix (Qt's SQLite driver, libcsv): a step of its own, so
# that a cache made before it gets it in minutes.
if [ ! -e "$qt/.station-complete" ]; then
  echo "Qt for Windows: adding the SQLite driver and libcsv to $qt" >&2
  tools/qt6-mingw.sh --station "$qt" "$(nproc)" >&2
  touch "$qt/.station-complete"
fi

build=$repo/build-windows
# GCC 12 takes some string sums for overlapping copies when it inlines at -O3 (its bug 105329):
# a false alarm, not a fault of ours.
"$qt/bin/qt-cmake" -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build" -j"$(nproc)" >&2

# The programs with exactly what they load: the DLLs they import (followed through the DLLs
# themselves), Qt's Windows platform and style plugins, and Qt's Russian texts.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=vestra-$version-windows-x64
stage=$build/stage/$name
rm -rf "$build/stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/sqldrivers" "$stage/translations"
cp "$build/vestra.exe" "$build/cli/vestra-cli.exe" "$build/cli/vestra-station.exe" "$stage/"
# vestra-cli never shows its form: the offscreen platform, as on Linux.
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The station's record is an SQLite file.
cp "$qt/plugins/sqldrivers/qsqlite.dll" "$stage/sqldrivers/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$stage/qt.conf"
search=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
mapfile -t queue < <(find "$stage" -name '*.exe' -o -name '*.dll')
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [ -e "$stage/$dll" ] && continue
    for dir in "${search[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        queue+=("$stage/$dll")
        break
      fi
    done
  done
done
x86_64-w64-mingw32-strip "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

zip=$build/$name.zip
rm -f "$zip"
(cd "$build/stage" && zip -qr9 "$zip" "$name")

# The uninstaller removes what was installed, file by file, then the folders, deepest first.
files=$build/stage/uninstall-files.nsh
(cd "$stage" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|' &&
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') >"$files"
setup=$build/$name-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICON="$build/dist/windows/vestra.ico" \
  -DFILES="$files" -DOUTFILE="$setup" dist/windows/vestra.nsi >&2
echo "$setup"
echo "$zip"
