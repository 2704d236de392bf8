#!/usr/bin/env bash
# Installs what building, testing, packaging and running the configurator need on Debian 12,
# when missing.
set -euo pipefail
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev libgtest-dev
          qt6-translations-l10n xvfb xauth x11-apps imagemagick socat fonts-dejavu-core
          librsvg2-bin desktop-file-utils appstream dpkg-dev debhelper file libcsv-dev
          libudev-dev lintian scdoc bash-completion pkg-config man-db systemd
          libqt6sql6-sqlite libqt6sql6-psql postgresql-15 sqlite3
          g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build xz-utils wine wine64 nsis zip
          unzip xdotool clang libclang-rt-14-dev
          qt6-httpserver-dev qt6-websockets-dev chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: install them as root (su -c 'apt-get install ...'), or install sudo and" \
      "join the group sudo, then run this again" >&2
    exit 1
  }
  sudo=sudo
fi
install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq "$@"; }
$sudo apt-get update -qq
# The tests start throwaway PostgreSQL servers of their own: installing the server must neither
# create the system's cluster nor leave its service enabled.
if [[ " ${missing[*]} " == *" postgresql-15 "* ]]; then
  conf=/etc/postgresql-common/createcluster.conf
  had_service=$(dpkg-query -W -f='${Status}' postgresql-common 2>/dev/null || true)
  install postgresql-common systemd
  $sudo cp -p "$conf" "$conf.vestra"
  $sudo pg_conftool "$conf" set create_main_cluster false
  install postgresql-15
  $sudo mv "$conf.vestra" "$conf"
  if [[ $had_service != *"ok installed" ]]; then
    # The package enabled it; systemctl disables it whether or not systemd runs (a container).
    $sudo systemctl disable --quiet postgresql.service
  fi
fi
install "${missing[@]}"
