#!/usr/bin/env bash
# Installs what is missing, builds, and shows rtupoll polling three simulated
# devices (rtu-sim) on loopback ports. The program runs from build/demo/, where
# it keeps its setting.ini and data.csv. Closing the window ends the demo.
#
#   ./run-demo.sh                        open the window (under xvfb-run without a display)
#   ./run-demo.sh --screenshot shot.png  run under xvfb-run, save a screenshot, stop
#                 [--after SECONDS]      ... taken SECONDS after the start (default 12)
#   ./run-demo.sh --flaky                a poor field: device A behind a slow link
#                                        (300 ms round trip), device B closing its
#                                        connections every 5 s
set -euo pipefail

usage() { sed -n '2,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

# Read before moving to the source tree: a relative screenshot path names a
# file in the caller's folder.
screenshot=""
after=12
flaky=""
while (($# > 0)); do
  case "$1" in
    --flaky) flaky=1; shift ;;
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

server_pids=()
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
  local pid
  for pid in "${server_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait_for "$pid"
  done
}
# A signal while the program runs closes it in order (it saves setting.ini);
# before that it just ends the demo.
on_signal() {
  if [[ -n "$program_pid" ]]; then stop_program; else exit 130; fi
}
trap finish EXIT
trap on_signal INT TERM HUP

# Starts COMMAND... in the background, its output in LOG, and waits until it
# has printed COUNT lines "PREFIX 127.0.0.1:PORT..."; their ports are added to ports.
ports=()
start_printing_ports() {
  local log="$1" count="$2" prefix="$3"
  shift 3
  "$@" >"$log" &
  server_pids+=($!)
  local found=()
  for _ in $(seq 100); do
    mapfile -t found < <(sed -n "s/^$prefix 127\\.0\\.0\\.1:\\([0-9]*\\).*$/\\1/p" "$log")
    if ((${#found[@]} == count)) || ! kill -0 "${server_pids[-1]}" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if ((${#found[@]} != count)); then
    echo "$1 did not start; see $log" >&2
    exit 1
  fi
  ports+=("${found[@]}")
}

sim="$RTUPOLL_BUILD/rtu-sim"
if [[ -z "$flaky" ]]; then
  # Three devices on free loopback ports; the simulator prints the ports it got.
  start_printing_ports "$demo/rtu-sim.log" 3 "listening on" "$sim" --port 0 --port 0 --port 0
else
  # Each device on a simulator of its own, numbered as in the plain demo.
  # A is reached through a slow link: the program dials the link's port.
  start_printing_ports "$demo/rtu-sim.a.log" 1 "listening on" "$sim" --port 0
  device_a="${ports[0]}"
  ports=()
  start_printing_ports "$demo/link-a.log" 1 proxying \
    python3 tools/link_proxy.py --target "$device_a" --rtt-ms 300 --seconds 86400
  start_printing_ports "$demo/rtu-sim.b.log" 1 "listening on" "$sim" --port 0 --first-device 1 --close-after 5
  start_printing_ports "$demo/rtu-sim.c.log" 1 "listening on" "$sim" --port 0 --first-device 2
  echo "Device A behind a 300 ms link on port ${ports[0]} (device on $device_a);" \
    "device B closes its connections every 5 s"
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
