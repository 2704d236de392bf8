#!/usr/bin/env bash
# Checks the configurator's Debian packages as Debian and an installation see them. Usage:
# tools/check-package.sh FOLDER/vestra_VERSION_ARCH.changes. lintian reports nothing on the
# source package and every binary package that they do not override with a reason; each binary
# package holds what it should, with its debugging symbols in its -dbgsym; unpacked into a
# temporary folder, each file is where the desktop, man and bash look for it, the menu entry and
# the AppStream file validate in place, the manual pages render, the completion completes, and
# the packaged programs run.
set -euo pipefail
changes=$(realpath "$1")
dir=$(dirname "$changes")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "$(basename "$changes"): $*" >&2; exit 1; }
version=$(sed -n 's/^Version: //p' "$changes")
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb() { echo "$dir/${1}_${version}_$arch.deb"; }

# Every tag lintian knows, down to the pedantic and experimental ones, unless overridden; and
# every override says why (a comment above it).
report=$(lintian --pedantic --display-info --display-experimental "$changes" 2>&1) ||
  fail "lintian failed: $report"
report=$(grep -v '^running with root privileges' <<<"$report" || true)
[ -z "$report" ] || fail "lintian reports:"$'\n'"$report"
for package in vestra vestra-cli vestra-sim vestra-station; do
  dpkg-deb -x "$(deb $package)" "$root"
  mkdir -p "$root/dbgsym"
  dpkg-deb -x "$(deb $package-dbgsym)" "$root/dbgsym"
done
for overrides in "$root"/usr/share/lintian/overrides/* "$(dirname "$0")/../debian/source/lintian-overrides"; do
  [ -f "$overrides" ] || continue
  unexplained=$(awk '/^#/ { why = 1; next } /^[^#[:space:]]/ && !why { print } { why = 0 }' "$overrides")
  [ -z "$unexplained" ] || fail "overrides without a reason: $unexplained"
done
zcat "$root/usr/share/doc/vestra/changelog.gz" | head -n1 | grep -qF "($version)" ||
  fail "the changelog does not begin with version $version"

# The libraries' packages come from the programs; what is loaded at run time is named by hand.
# The command line and the station run on Qt's core alone: no GUI library, no window system;
# the PostgreSQL driver only on a line of stations.
requires() {  # package field word...: the package's field names each word
  local package=$1 field=$2 value
  shift 2
  value=$(dpkg-deb -f "$(deb "$package")" "$field")
  for word in "$@"; do
    [[ ", $value," == *", $word"[\ ,]* ]] || fail "$package: $field lacks $word: $value"
  done
}
requires vestra Depends libqt6widgets6 libqt6core6 libc6 qt6-translations-l10n
requires vestra-cli Depends libqt6core6 libqt6sql6 libqt6sql6-sqlite libcsv3
requires vestra-cli Recommends libqt6sql6-psql
requires vestra-cli Depends libqt6httpserver6
# The line's dashboard comes as a service with its configuration, both left to the site.
contents=$(dpkg-deb -c "$(deb vestra-cli)")
for file in ./lib/systemd/system/vestra-dashboard.service ./etc/vestra/dashboard.conf; do
  grep -qF " $file" <<<"$contents" || fail "vestra-cli lacks $file"
done
# Installed disabled: enabled again only where it was before (an upgrade), never started.
postinst=$(dpkg-deb -I "$(deb vestra-cli)" postinst)
if ! grep -qF "debian-installed 'vestra-dashboard.service'" <<<"$postinst" ||
  grep -q 'deb-systemd-invoke.*start.*vestra-dashboard' <<<"$postinst"; then
  fail "vestra-cli enables or starts vestra-dashboard.service on install"
fi
grep -qx /etc/vestra/dashboard.conf <<<"$(dpkg-deb -I "$(deb vestra-cli)" conffiles)" ||
  fail "vestra-cli: /etc/vestra/dashboard.conf is no conffile"
requires vestra-sim Depends libqt6core6
# The operator's window runs the station of vestra-cli, of the same version, and plays its sounds
# through Qt Multimedia.
requires vestra-station Depends "vestra-cli (= $version)" libqt6widgets6 libqt6multimedia6 libqt6network6
cli_files=$(dpkg-deb -c "$(deb vestra-cli)")
if grep -qE ' \./usr/(bin/vestra-station|share/applications/.*station)' <<<"$cli_files"; then
  fail "vestra-cli ships the operator's window: a headless station would need a display's libraries"
fi
if dpkg-deb -f "$(deb vestra-cli)" Depends | grep -qE 'psql|qpa-plugins|translations|gui|widgets'; then
  fail "vestra-cli depends on what only a desktop or a line of stations needs"
fi
if dpkg-deb -c "$(deb vestra-cli)" | grep -qE '/(applications|icons|metainfo)/'; then
  fail "vestra-cli ships a menu entry, an icon or an AppStream file"
fi

# Each program is built with the hardening flags and its debugging symbols are in its -dbgsym,
# found by its build id.
for program in "$root"/usr/bin/*; do
  id=$(readelf -n "$program" | sed -n 's/^ *Build ID: //p')
  [ -f "$root/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] ||
    fail "no debugging symbols for $(basename "$program") ($id)"
  readelf -d "$program" | grep -q 'FLAGS_1.*NOW.*PIE' || fail "$(basename "$program") is not PIE bound at start"
done

share=$root/usr/share
entries=("$share"/applications/*.desktop)
[ ${#entries[@]} -eq 2 ] || fail "not two menu entries (the configurator's, the station's) in /usr/share/applications"
desktop-file-validate "${entries[@]}"
appstreamcli validate-tree --no-net "$root"

# Each entry starts a program on the PATH and shows an icon of the hicolor theme in each size.
for entry in "${entries[@]}"; do
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$root/usr/bin/$program" ] || fail "Exec=$program is not in /usr/bin"
  [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
  for size in 16 48 256; do
    png=$share/icons/hicolor/${size}x$size/apps/$icon.png
    file "$png" | grep -q "PNG image data, $size x $size" || fail "no $size px icon $icon"
  done
done
grep -qF 'Name[ru]=Станция Вестра' "$share/applications/ru.mirotan.vestra.station.desktop" ||
  fail "the station's menu entry is not «Станция Вестра»"

# The programs run from where the package puts them.
export QT_QPA_PLATFORM=offscreen
bin=$root/usr/bin
for program in vestra-sim vestra-cli vestra-station; do
  "$bin/$program" --help >/dev/null || fail "$program --help failed"
done
# Each says its version, the package's, without a display; the windows name their menu entries.
for program in vestra vestra-sim vestra-cli vestra-station; do
  said=$(env -u QT_QPA_PLATFORM DISPLAY= WAYLAND_DISPLAY= "$bin/$program" --version 2>&1) || true
  [ "$said" = "$program $version" ] || fail "$program --version says: $said"
done
grep -qaF ru.mirotan.vestra "$bin/vestra" || fail "vestra does not name its desktop file"
grep -qaF ru.mirotan.vestra.station "$bin/vestra-station" ||
  fail "vestra-station does not name its desktop file"

# Each program has its manual page in English and in Russian, which man renders without a
# warning and without a hyphen breaking a word.
for program in "$bin"/*; do
  for folder in man1 ru/man1; do
    page=$share/man/$folder/$(basename "$program").1.gz
    [ -f "$page" ] || fail "no manual page $folder for $(basename "$program")"
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
    ! MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | grep -q '‐$' || fail "$page hyphenates"
  done
done

# Every option the programs' own help names is in their manual pages, and vestra-cli's in its
# completion too; so is every subcommand.
completion=/usr/share/bash-completion/completions/vestra-cli
[ "$(pkg-config --variable=completionsdir bash-completion)" = "${completion%/*}" ] ||
  fail "bash-completion looks elsewhere than ${completion%/*}"
[ -f "$root$completion" ] || fail "no bash completion for vestra-cli"
completion=$root$completion
options() { grep -oE -- '^ +-[-a-z]+(, --[-a-z]+)?' | grep -oE -- '-[-a-z]+'; }
documents() {  # page word...: each word appears in the page
  local page=$1 word
  shift
  for word in "$@"; do
    zcat "$page" | grep -qE -- "(^|[^-a-z])$word([^-a-z]|\$)" || fail "$(basename "$page") lacks $word"
  done
}
for program in vestra-sim vestra-station; do
  mapfile -t words < <(env -u QT_QPA_PLATFORM DISPLAY= "$bin/$program" --help | options)
  documents "$share/man/man1/$program.1.gz" "${words[@]}"
  documents "$share/man/ru/man1/$program.1.gz" "${words[@]}"
done
commands=$("$bin/vestra-cli" --help | awk '/^Команды:/ { list = 1; next } !NF { list = 0 } list { print $1 }')
[ -n "$commands" ] || fail "vestra-cli --help lists no commands under «Команды:»"
for command in $commands; do
  mapfile -t words < <(echo "$command" && "$bin/vestra-cli" "$command" --help | options)
  documents "$share/man/man1/vestra-cli.1.gz" "${words[@]}"
  documents "$share/man/ru/man1/vestra-cli.1.gz" "${words[@]}"
  for word in "${words[@]}"; do
    grep -qE -- "(^|[ '\"])$word([ '\"]|$)" "$completion" || fail "completion lacks $command $word"
  done
done

# The completion offers the subcommands and the port names.
completes() {  # words...: prints what completing the last of the typed words offers
  bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" && shift &&
    COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && COMP_LINE="$*" && COMP_POINT=${#COMP_LINE} &&
    _vestra_cli vestra-cli "${COMP_WORDS[-1]}" &&
    echo "${COMPREPLY[*]}"' sh "$completion" "$@"
}
[ "$(completes vestra-cli wr)" = write ] || fail "completion: vestra-cli wr gives $(completes vestra-cli wr)"
[[ " $(completes vestra-cli read --port CO) " == *" COM24 "* ]] || fail "completion: no port COM24"
[[ " $(completes vestra-cli write template.ini --) " == *" --port "* ]] ||
  fail "completion: no options after the file"
[[ " $(cd "$root" && completes vestra-cli write template.ini "") " != *" usr "* ]] ||
  fail "completion: offers a file again after the file"

# The batch station runs as its service would.
"$(dirname "$0")/check-service.sh" "$root"
# The dashboard's unit as systemd reads it, against the targets check-service.sh put there.
report=$(systemd-analyze verify --root="$root" --man=no \
  "$root/lib/systemd/system/vestra-dashboard.service" 2>&1) || fail "$report"
[ -z "$report" ] || fail "vestra-dashboard.service: $report"

# The start-up file: the programs look for /etc/vestra/Vestra.ini, which belongs to the
# administrator, so the package ships none.
grep -qaF /etc/vestra "$bin/vestra" || fail "vestra does not look in /etc/vestra"
[ -z "$(find "$root" -name Vestra.ini)" ] || fail "a package ships a start-up file"
echo "$(basename "$changes"): lintian clean, contents checked"
