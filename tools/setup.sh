#!/usr/bin/env bash
# Installs what building, testing and running the configurator need on Debian 12, when missing.
set -euo pipefail
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev
          qt6-translations-l10n xvfb xauth x11-apps imagemagick socat fonts-dejavu-core
          librsvg2-bin desktop-file-utils appstream dpkg-dev file libcsv-dev libudev-dev
          lintian scdoc bash-completion pkg-config man-db
          libqt6sql6-sqlite libqt6sql6-psql postgresql
          g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build xz-utils wine wine64 nsis zip
          unzip xdotool)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
