#!/usr/bin/env bash
# Builds the Debian source package and its binary packages (vestra, vestra-cli, vestra-sim,
# vestra-station and their -dbgsym) with dpkg-buildpackage from a copy of the working tree, and
# prints the paths of the .changes file's packages, one a line. Usage: tools/package.sh
# [FOLDER], default build-package; DEB_BUILD_OPTIONS=nocheck leaves the tests out.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh >&2  # standard output carries only the packages' paths
out=$(realpath -m "${1:-build-package}")
version=$(dpkg-parsechangelog -SVersion)
# dpkg-buildpackage writes beside the source folder: a copy of what git knows (tracked and new
# files, not the ignored ones) keeps build folders and results out of the tree.
rm -rf "$out"
src=$out/vestra-$version
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | tar -xf - -C "$src"
(cd "$src" && dpkg-buildpackage -us -uc -jauto >"$out/build.log" 2>&1) ||
  { tail -n 60 "$out/build.log" >&2; exit 1; }
changes=$out/vestra_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).changes
ls "$changes" "$out"/*.dsc "$out"/*.deb
