#!/usr/bin/env bash
# Checks a Debian package of the configurator as an installation sees it: unpacks it into a
# temporary folder, checks that each file is where the desktop looks for it, validates the menu
# entry and the AppStream file in place, and runs the packaged programs.
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail() { echo "$deb: $*" >&2; exit 1; }

# The libraries' packages come from the programs, so the Qt libraries must be among them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6core6 libc6 qt6-qpa-plugins; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

share=$root/usr/share
entries=("$share"/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || fail "not one menu entry in /usr/share/applications"
entry=${entries[0]}
desktop-file-validate "$entry"
appstreamcli validate-tree --no-net "$root"

# The entry starts a program on the PATH and shows an icon of the hicolor theme in each size.
program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/usr/bin/$program" ] || fail "Exec=$program is not in /usr/bin"
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
for size in 16 48 256; do
  png=$share/icons/hicolor/${size}x$size/apps/$icon.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "no $size px icon $icon"
done

# The programs run from where the package puts them.
export QT_QPA_PLATFORM=offscreen
"$root/usr/bin/vestra-sim" --help >/dev/null || fail "vestra-sim --help failed"
if [ -e "$root/usr/bin/vestra-cli" ]; then
  "$root/usr/bin/vestra-cli" --help >/dev/null || fail "vestra-cli --help failed"
fi
echo "$(basename "$deb"): contents checked"
