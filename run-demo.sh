#!/usr/bin/env bash
# Installs what is missing, builds, and shows rtupoll polling three simulated
# devices (rtu-sim) on loopback ports. The program runs from build/demo/, where
# it keeps its setting.ini and data.csv. Closing the window ends the demo.
#
#   ./run-demo.sh                        open the window (under xvfb-run without a display)
#   ./run-demo.sh --screenshot shot.png  run under xvfb-run, save a screenshot, stop
#                 [--after SECONDS]      ... taken SECONDS after the start (default 12)
set -euo pipefail

usage() { sed -n '2,8s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

# Read before moving to the source tree: a relative screenshot path names a
# file in the caller's folder.
screenshot=""
after=12
while (($# > 0)); do
  case "$1" in
    --screenshot) screenshot="$(realpath -m -- "${2:?--screenshot needs a file name}")"; shift 2 ;;
    --after) after="${2:?--after needs a number of seconds}"; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

cd "$(dirname "${BASH_SOURCE[0]}")"
source scripts/setup.sh

rtupoll_install_missing_packages
rtupoll_build rtupoll rtu-sim

demo="$RTUPOLL_BUILD/demo"
mkdir -p "$demo"
# The program keeps its files next to itself, so it runs from a copy of its own.
cp -f "$RTUPOLL_BUILD/rtupoll" "$demo/rtupoll"

sim_pid=""
program_pid=""
runner_pid=""

stop_program() {
  if [[ -n "$program_pid" ]]; then
    kill -TERM "$program_pid" 2>/dev/null || true
  fi
}

wait_for() {
  while kill -0 "$1" 2>/dev/null; do
    wait "$1" 2>/dev/null || true
  done
}

finish() {
  stop_program
  if [[ -n "$runner_pid" ]]; then wait_for "$runner_pid"; fi
  if [[ -n "$sim_pid" ]]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait_for "$sim_pid"
  fi
}
# A signal while the program runs closes it in order (it saves setting.ini);
# before that it just ends the demo.
on_signal() {
  if [[ -n "$program_pid" ]]; then stop_program; else exit 130; fi
}
trap finish EXIT
trap on_signal INT TERM HUP

# Three devices on free loopback ports; the simulator prints the ports it got.
"$RTUPOLL_BUILD/rtu-sim" --port 0 --port 0 --port 0 >"$demo/rtu-sim.log" &
sim_pid=$!
ports=()
for _ in $(seq 100); do
  mapfile -t ports < <(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/rtu-sim.log")
  if ((${#ports[@]} == 3)) || ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if ((${#ports[@]} != 3)); then
  echo "rtu-sim did not start; see $demo/rtu-sim.log" >&2
  exit 1
fi
echo "Simulated devices on 127.0.0.1 ports ${ports[*]}"

# A fresh setting.ini every run (the ports change): all three slots saved as
# connected, and five read definitions over the changing registers.
# Registers count from 1 in the window, so first register 1 is address 0.
{
  printf '[set]\r\n'
  printf 'Scon%d=False\r\n' 0 1 2
  printf 'port%d=%s\r\n' 0 "${ports[0]}" 1 "${ports[1]}" 2 "${ports[2]}"
  printf 'txtIP%d=127.0.0.1\r\n' 0 1 2
  printf 'strreg%d=%s\r\n' 0 1 1 1 2 1 3 2 4 3
  printf 'legreg%d=%s\r\n' 0 10 1 10 2 10 3 5 4 5
  printf 'LstIP%d=%s\r\n' 0 0 1 1 2 2 3 0 4 1
} >"$demo/setting.ini"

# Runs the program on a virtual X display; the display, its Xauthority file and
# the program's process id are written to $demo/xvfb.env for what follows.
# Its own session keeps Ctrl-C away from Xvfb: the X server must outlive the
# program's orderly close, which on_signal asks for.
start_under_xvfb() {
  rm -f "$demo/xvfb.env"
  setsid -w xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
    'printf "%s\n" "$DISPLAY" "$XAUTHORITY" "$$" >"$1.tmp" && mv "$1.tmp" "$1" && exec "$2"' \
    _ "$demo/xvfb.env" "$demo/rtupoll" &
  runner_pid=$!
  while [[ ! -s "$demo/xvfb.env" ]]; do
    if ! kill -0 "$runner_pid" 2>/dev/null; then
      echo "xvfb-run failed to start the program" >&2
      exit 1
    fi
    sleep 0.1
  done
  { read -r display; read -r xauthority; read -r program_pid; } <"$demo/xvfb.env"
}

if [[ -n "$screenshot" ]]; then
  start_under_xvfb
  echo "rtupoll runs on $display; screenshot in $after s"
  sleep "$after"
  # The window alone, by its caption, rather than the whole virtual screen.
  DISPLAY="$display" XAUTHORITY="$xauthority" import -window Form1 "$screenshot"
  echo "Screenshot saved to $screenshot"
  stop_program
elif [[ -n "${DISPLAY:-}" ]]; then
  "$demo/rtupoll" &
  program_pid=$!
  runner_pid=$program_pid
  echo "rtupoll runs from $demo; close its window to end the demo."
else
  start_under_xvfb
  echo "No display (\$DISPLAY is not set): rtupoll runs under xvfb-run on $display."
  echo "Take a screenshot from another shell with:"
  echo "  DISPLAY=$display XAUTHORITY=$xauthority import -window root shot.png"
  echo "Press Ctrl-C to end the demo."
fi
wait_for "$runner_pid"
