#!/usr/bin/env bash
# Checks the batch station's service in an unpacked vestra-cli package (usage:
# tools/check-service.sh ROOT): systemd-analyze verifies the unit; its user is made from the
# sysusers file; then the unit's own command line runs as the service manager would run it
# (that user, its state folder as working folder, its site configuration read as systemd reads
# an EnvironmentFile), provisions one unit on vestra-sim and is stopped by SIGTERM: exit 143,
# with the default database in the state folder. Without root it runs as the calling user.
set -euo pipefail
root=$(realpath "$1")
unit=$root/lib/systemd/system/vestra-station@.service
sysusers=$root/usr/lib/sysusers.d/vestra-station.conf
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "vestra-station@.service: $*" >&2; exit 1; }
[ -f "$unit" ] && [ -f "$sysusers" ] || fail "no unit or no sysusers file in $root"

# systemd-analyze looks in the given root for the targets the unit is ordered against.
cp -nL /lib/systemd/system/*.target /lib/systemd/system/*.slice "$root/lib/systemd/system/"
report=$(systemd-analyze verify --root="$root" --man=no "$unit" 2>&1) || fail "$report"
[ -z "$report" ] || fail "systemd-analyze: $report"

# The user as sysusers makes it, in a copy of this machine's accounts first; as root also for
# real, as the package's postinst does.
user=$(sed -n 's/^User=//p' "$unit")
mkdir -p "$work/sysroot/etc"
cp /etc/passwd /etc/group /etc/shadow /etc/gshadow "$work/sysroot/etc/" 2>/dev/null || true
systemd-sysusers --root="$work/sysroot" "$sysusers"
grep -q "^$user:" "$work/sysroot/etc/passwd" || fail "sysusers makes no user $user"
grep -qE "^dialout:.*[:,]$user(,|$)" "$work/sysroot/etc/group" || fail "$user is not in dialout"
if [ "$(id -u)" -eq 0 ]; then
  systemd-sysusers "$sysusers"
  as_user=(setpriv --reuid="$user" --regid="$user" --init-groups)
else
  user=$(id -un)
  as_user=()
fi
home=$(getent passwd "$user" | cut -d: -f6)
chmod 755 "$work"

# The unit's specifiers and paths, moved into the work folder; the programs of the package.
instance=demo
place() {
  local text=${1//%i/$instance}
  text=${text//%E/$work/etc}
  text=${text//%S/$work/var/lib}
  echo "${text//\/usr\/bin\//$root/usr/bin/}"
}
setting() { place "$(sed -n "s/^$1=//p" "$unit")"; }
conf=$(setting EnvironmentFile)
state=$work/var/lib/$(place "$(sed -n 's/^StateDirectory=//p' "$unit")")
dev=$work/dev  # the simulated unit's link, made by that user
mkdir -p "$(dirname "$conf")" "$state" "$dev"
[ "$(id -u)" -ne 0 ] || chown "$user:" "$state" "$dev"
# The environment the service manager gives, and its user; env and setpriv exec the program, so
# a background one's $! is the program itself.
run=(env -i PATH=/usr/bin:/bin HOME="$home" USER="$user" LANG=C.UTF-8 STATE_DIRECTORY="$state"
  "${as_user[@]}")

# A unit, its template read from it, and a table of two rows: the station waits for a second unit.
"${run[@]}" "$root/usr/bin/vestra-sim" --link "$dev/unit" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -e "$dev/unit" ] && break; sleep 0.1; done
"${run[@]}" "$root/usr/bin/vestra-cli" read --port "$dev/unit" >"$work/demo.ini"
printf 'Unit;PhoneSMS1\nСклад 1;+7 900 000-00-01\nСклад 2;+7 900 000-00-02\n' >"$work/demo.csv"
cat >"$conf" <<CONF
TEMPLATE=$work/demo.ini
UNITS=$work/demo.csv
OPTIONS="--port $dev/unit --station $instance"
CONF

# ${NAME} is one word, \$NAME is split at blanks, as systemd does.
command=$(setting ExecStart | sed 's/\${\([A-Za-z_]*\)}/"${\1}"/g')
mapfile -d '' argv < <(set -a && . "$conf" && eval "printf '%s\0' $command")
(cd "$(setting WorkingDirectory)" && exec "${run[@]}" "${argv[@]}") >"$work/out" 2>"$work/err" &
station=$!
pids+=("$station")
for _ in $(seq 300); do
  grep -q 'записано и проверено' "$work/out" && break
  kill -0 "$station" 2>/dev/null || break
  sleep 0.1
done
grep -q 'записано и проверено' "$work/out" || fail "no unit provisioned: $(cat "$work/out" "$work/err")"
kill -TERM "$station"
status=0
wait "$station" || status=$?
[ "$status" -eq 143 ] || fail "exit $status after SIGTERM, not 143: $(cat "$work/err")"
[ -s "$state/station.db" ] || fail "no station.db in the state folder: $(cat "$work/err")"
grep -qF "База станции: $state/station.db" "$work/err" || fail "the station does not say its database"
echo "vestra-station@.service: verified; provisioned a unit as $user, stopped by SIGTERM (143)"
