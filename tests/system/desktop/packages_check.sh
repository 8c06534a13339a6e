#!/usr/bin/env bash
# The Debian package and the portable folder as an operator gets them.
#
#   packages_check.sh BUILD_DIR
#
# Builds both packages from the build folder into a scratch folder (cpack
# only reads the build), checks the .deb's control fields and files, unpacks
# it into a scratch root (dpkg -x) and runs its /usr/bin/rtupoll launcher as
# a user without privileges (nobody, when run as root), with a scratch HOME,
# offscreen, against the package's own rtu-sim on 127.0.0.1: the program
# must run from the per-user folder, poll, and write setting.ini there when
# SIGTERM closes it. Then the launcher must replace a stale per-user copy,
# and the portable folder must run from wherever it is unpacked.
#
# Every process started here leads a process group of its own (setsid execs
# in place, so $! is the process), is ended with the group when the script
# ends, and is bounded in time even if the script is killed: rtu-sim by its
# --seconds, the program by a watchdog.
set -euo pipefail

build="$(realpath "${1:?usage: packages_check.sh BUILD_DIR}")"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rtupoll-packages-XXXXXX")"
# The unprivileged user must reach the scratch root and its HOME.
chmod 755 "$scratch"
started=()
# Longest a program started here may live.
lifetime=120

finish() {
  local pid
  for pid in "${started[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits up to $1 seconds, a tenth at a time, for the command to succeed.
within() {
  local seconds="$1"
  shift
  local tenths
  for ((tenths = 0; tenths < seconds * 10; tenths++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  "$@"
}

if ((EUID == 0)); then
  user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  owner=nobody:nogroup
else
  user=()
  owner="$(id -u):$(id -g)"
fi


# --- building the packages ---------------------------------------------------
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G "DEB;TGZ" -B "$scratch/packages") \
  >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  fail "cpack could not build the packages"
}
deb="$(find "$scratch/packages" -maxdepth 1 -name 'rtupoll_*.deb')"
tgz="$(find "$scratch/packages" -maxdepth 1 -name 'rtupoll-*.tar.gz')"
[[ -f "$deb" && -f "$tgz" ]] || fail "packages missing: $(ls "$scratch/packages")"
arch="$(dpkg --print-architecture)"
[[ "$(basename "$deb")" == rtupoll_*_"$arch".deb ]] || fail "unexpected name $(basename "$deb")"

# --- the .deb's control fields -------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == rtupoll ]] || fail "Package: $(field Package)"
[[ "$(field Architecture)" == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ "$(field Section)" == electronics ]] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
depends="$(field Depends)"
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libmodbus5 \
  'fonts-liberation2 | fonts-liberation'; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -I "$deb" | sed -n '/^ Package:/,$p'

# --- its files, unpacked ---------------------------------------------------------
root="$scratch/root"
dpkg -x "$deb" "$root"
for file in usr/bin/rtupoll usr/bin/rtu-sim usr/lib/rtupoll/rtupoll; do
  [[ -x "$root/$file" ]] || fail "$file missing or not executable"
done
[[ "$(head -c 9 "$root/usr/bin/rtupoll")" == '#!/bin/sh' ]] || fail "/usr/bin/rtupoll is not the launcher"
entry=usr/share/applications/org.rtupoll.rtupoll.desktop
metainfo=usr/share/metainfo/org.rtupoll.rtupoll.metainfo.xml
for file in "$entry" "$metainfo" usr/share/icons/hicolor/scalable/apps/rtupoll.svg \
  usr/share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/rtupoll.png \
  usr/share/doc/rtupoll/copyright usr/share/doc/rtupoll/README.Debian; do
  [[ -s "$root/$file" ]] || fail "$file missing"
done
grep -qx 'License: Expat' "$root/usr/share/doc/rtupoll/copyright" || fail "copyright names no licence"
grep -q 'MIT' "$root/usr/share/doc/rtupoll/README.Debian" || fail "README.Debian names no licence"
desktop-file-validate "$root/$entry" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/$metainfo" || fail "appstreamcli validate"
grep -qx 'Icon=rtupoll' "$root/$entry" || fail "the desktop entry names another icon"
grep -q '>org.rtupoll.rtupoll.desktop<' "$root/$metainfo" || fail "the metainfo launches another entry"
# The window tells the desktop which entry it belongs to by the same id.
grep -qa 'org.rtupoll.rtupoll' "$root/usr/lib/rtupoll/rtupoll" || fail "the program carries another entry id"

# --- running it as an operator ---------------------------------------------------
setsid "$root/usr/bin/rtu-sim" --port 0 --seconds "$lifetime" >"$scratch/sim.log" &
started+=($!)
# The test harness reads rtu-sim's ports and writes setting.ini, as for
# every other test; the source tree's tools/ holds it.
harness() { PYTHONPATH="$(dirname "$0")/../../../tools" /usr/bin/python3 -m "rtupoll_harness.$1" "${@:2}"; }
has_port() { [[ -n "$(harness simulator "$scratch/sim.log")" ]]; }
within 10 has_port || fail "rtu-sim did not start"
port="$(harness simulator "$scratch/sim.log")"

# Slot 0 saved as connected to the simulator, every read on it for three
# registers; every host is 127.0.0.1. LstIP4 is left out: the save on
# SIGTERM writes it.
setting_ini() {
  harness program --ports "$port" "$port" "$port" --saved 0 \
    --read 0 1 3 --read 0 1 3 --read 0 1 3 --read 0 1 3 --read 0 1 3 | grep -v '^LstIP4='
}

# Whether process $1 has a handler for signal $2: the program takes over
# SIGTERM as it starts, and a SIGTERM before that would end it unsaved.
catches() {
  local mask
  mask="$(sed -n 's/^SigCgt:\t*//p' "/proc/$1/status" 2>/dev/null)" || return 1
  [[ -n "$mask" ]] && (((0x$mask >> ($2 - 1)) & 1))
}

runs() { [[ "$(readlink "/proc/$1/exe" 2>/dev/null)" == "$2" ]]; }
# Gone, or a zombie waiting for this script to collect its status.
ended() { ! grep -qs '^State:[[:space:]]*[^Z]' "/proc/$1/status"; }

# Starts the command as the test's user, with HOME $1, and waits until the
# process runs the program $2 with its quit signals taken over.
program_pid=""
watchdog_pid=""
start_program() {
  local home="$1" expected="$2"
  shift 2
  # As the test's user, with nothing of this environment but what a desktop
  # session would give; every step execs the next, so $! becomes the program.
  setsid "${user[@]}" env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "$@" \
    >>"$scratch/program.log" 2>&1 &
  program_pid=$!
  started+=("$program_pid")
  # shellcheck disable=SC2016 # the watchdog's own arguments, expanded by sh
  setsid sh -c 'sleep "$1"; kill -KILL -- "-$2"' _ "$lifetime" "$program_pid" &
  watchdog_pid=$!
  started+=("$watchdog_pid")
  within 20 runs "$program_pid" "$expected" ||
    fail "the program does not run from $expected: $(readlink "/proc/$program_pid/exe" 2>/dev/null)"
  within 20 catches "$program_pid" 15 || fail "the program did not take over SIGTERM"
}

# Ends the program as a desktop session would, and waits (bounded) for its
# orderly close.
stop_program() {
  kill -TERM "$program_pid"
  within 20 ended "$program_pid" || fail "the program did not end on SIGTERM"
  wait "$program_pid" || fail "the program ended with status $? on SIGTERM"
  kill -KILL -- "-$watchdog_pid"
  wait "$watchdog_pid" 2>/dev/null || true
}

home="$scratch/home"
folder="$home/.local/share/rtupoll"
mkdir -p "$folder"
setting_ini >"$folder/setting.ini"
chown -R "$owner" "$home"

start_program "$home" "$folder/rtupoll" "$root/usr/bin/rtupoll"
cmp -s "$root/usr/lib/rtupoll/rtupoll" "$folder/rtupoll" || fail "the per-user copy differs from the installed program"
# Polling: data.csv shows read 0's first register with a value from the simulator.
within 30 grep -qa '^,1>>,[0-9]' "$folder/data.csv" 2>/dev/null || fail "no values in data.csv: $(cat "$folder/data.csv" 2>&1)"
stop_program
grep -qa $'^LstIP4=0\r$' "$folder/setting.ini" || fail "setting.ini was not saved on SIGTERM"
grep -qa $'^Scon0=False\r$' "$folder/setting.ini" || fail "slot 0 was not saved as connected"
[[ "$(stat -c %U "$folder/setting.ini")" == "$(cut -d: -f1 <<<"$owner")" ]] || fail "setting.ini belongs to another user"
files="$(find "$folder" -mindepth 1 -printf '%f\n' | sort | paste -sd ' ')"
[[ "$files" == "data.csv rtupoll setting.ini" ]] || fail "stray files: $files"
echo "ran from $folder, polled, saved setting.ini on SIGTERM"

# An older copy in a folder under XDG_DATA_HOME is replaced before it runs.
xdg="$scratch/xdg"
mkdir -p "$xdg/rtupoll"
printf '#!/bin/sh\nexit 3\n' >"$xdg/rtupoll/rtupoll"
chmod 755 "$xdg/rtupoll/rtupoll"
setting_ini >"$xdg/rtupoll/setting.ini"
chown -R "$owner" "$xdg"
start_program "$home" "$xdg/rtupoll/rtupoll" XDG_DATA_HOME="$xdg" "$root/usr/bin/rtupoll"
stop_program
cmp -s "$root/usr/lib/rtupoll/rtupoll" "$xdg/rtupoll/rtupoll" || fail "the stale copy was not replaced"
grep -qa $'^LstIP4=0\r$' "$xdg/rtupoll/setting.ini" || fail "setting.ini under XDG_DATA_HOME was not saved"
echo "replaced a stale copy under XDG_DATA_HOME"

# --- the portable folder ----------------------------------------------------------
top="rtupoll-$(dpkg-deb -f "$deb" Version)-Linux-$(uname -m)"
[[ "$(basename "$tgz")" == "$top.tar.gz" ]] || fail "unexpected name $(basename "$tgz")"
listing="$(tar -tzf "$tgz" | sort | tr '\n' ' ')"
[[ "$listing" == "$top/LICENSE $top/README.txt $top/rtu-sim $top/rtupoll " ]] || fail "tgz holds $listing"
portable="$scratch/portable"
mkdir -p "$portable"
tar -xzf "$tgz" -C "$portable"
for needed in 'Debian 12' 'Ubuntu 24.04' 'Qt 6.4' 'LICENSE' 'MIT'; do
  grep -q "$needed" "$portable/$top/README.txt" || fail "README.txt does not mention $needed"
done
setting_ini >"$portable/$top/setting.ini"
chown -R "$owner" "$portable"
start_program "$home" "$portable/$top/rtupoll" "$portable/$top/rtupoll"
stop_program
grep -qa $'^LstIP4=0\r$' "$portable/$top/setting.ini" || fail "the portable program did not save next to itself"
echo "the portable folder runs and saves next to its program"
echo "PASS"
