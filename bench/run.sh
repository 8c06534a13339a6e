#!/usr/bin/env bash
# Builds the benchmark programs and rtupoll, runs every benchmark against
# rtu-sim on 127.0.0.1 and prints the figures with their goals.
#
#   bench/run.sh [--build DIR] [--seconds N] [--launches N] [--display MODES]
#
#   --build DIR      build folder (default build/ at the top of the tree)
#   --seconds N      length of each measuring window (default 60)
#   --launches N     runs for the launch-to-first-request figure (default 5)
#   --display MODES  offscreen, xvfb or both (default both): how the program
#                    shows its window; under xvfb-run repaints reach a real
#                    X server, offscreen they end in Qt's own backing store
#   --only LIST      some of floor,launch,polling,down,hanging,idle,
#                    instructions (default all)
#   --program FILE   measure this rtupoll instead of the build's (before/after)
#   --env VAR=VALUE  put VAR in the program's environment (repeatable)
#
# Logs and the program folders stay in a temporary folder, printed at the
# start. Every server, the program and mbpoll talk to 127.0.0.1 only, and
# the program's setting.ini names 127.0.0.1 and the benchmark's ports for all
# three device slots before it starts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/setup.sh"

usage() { sed -n '2,21s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

build="$RTUPOLL_BUILD"
seconds=60
launches=5
modes=(offscreen xvfb)
only="floor,launch,polling,down,hanging,idle,instructions"
program=""
program_env=()
while (($# > 0)); do
  case "$1" in
    --build) build="$(realpath -m "${2:?--build needs a folder}")"; shift 2 ;;
    --seconds) seconds="${2:?--seconds needs a number}"; shift 2 ;;
    --launches) launches="${2:?--launches needs a number}"; shift 2 ;;
    --display)
      case "${2:-}" in
        offscreen | xvfb) modes=("$2") ;;
        both) modes=(offscreen xvfb) ;;
        *) usage >&2; exit 2 ;;
      esac
      shift 2 ;;
    --only) only="${2:?--only needs a list}"; shift 2 ;;
    --program) program="$(realpath "${2:?--program needs a file}")"; shift 2 ;;
    --env) program_env+=("${2:?--env needs VAR=VALUE}"); shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
wanted() { [[ ",$only," == *",$1,"* ]]; }

rtupoll_install_missing_packages
RTUPOLL_BUILD="$build"
rtupoll_build benchmarks
bin="$build/bench"
program="${program:-$build/rtupoll}"
work="$(mktemp -d /tmp/rtupoll-bench.XXXXXX)"

# Every process started here, so that the end (or Ctrl-C) stops exactly these.
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

say() { printf '%s\n' "$*"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
# The value of key=value in a line of a benchmark program's output.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2" | head -n1; }
calc() { awk "BEGIN { printf \"%.${2:-1}f\", $1 }"; }

# Machine
say "== rtupoll benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
say "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)," \
  "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory," \
  "Debian $(cat /etc/debian_version), kernel $(uname -r)," \
  "Qt $(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null), mbpoll $(dpkg-query -W -f='${Version}' mbpoll)"
say "build: $build ($(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")); program: $program${program_env[*]:+ with ${program_env[*]}}"
say "logs: $work"
say "load average at the start: $(load)"

# Starts rtu-sim with the given options for the scenario NAME, writing down
# every request's arrival; its ports end up in device_ports, refusing_port
# and hanging_port.
server_pid=""
start_server() {
  local name="$1"
  shift
  "$build/rtu-sim" --log "$work/$name.requests" --seconds $((seconds * 3 + 120)) "$@" >"$work/$name.server" &
  server_pid=$!
  started+=("$server_pid")
  local wanted_lines=0 arg _
  for arg in "$@"; do
    case "$arg" in --port | --refusing | --hanging) wanted_lines=$((wanted_lines + 1)) ;; esac
  done
  for _ in $(seq 100); do
    if (($(grep -c ' on 127\.0\.0\.1:' "$work/$name.server") >= wanted_lines)); then break; fi
    sleep 0.05
  done
  mapfile -t device_ports < <(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.server")
  refusing_port="$(sed -n 's/^refusing on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.server")"
  hanging_port="$(sed -n 's/^hanging on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.server")"
  if (($(grep -c ' on 127\.0\.0\.1:' "$work/$name.server") < wanted_lines)); then
    say "rtu-sim did not start; see $work/$name.server" >&2
    exit 1
  fi
}

stop_pid() {
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# A program folder with a copy of rtupoll and its setting.ini: the three
# slots on 127.0.0.1 at the given ports, all saved as connected (Scon=False),
# and five reads of 10 registers, as in the demo but all of 10: devices A, B,
# C from register 1, then A from register 2 and B from register 3. Each read
# has its own device and address, so the log tells the reads apart: the first
# of a cycle is A at address 0, the last B at address 2.
make_program_folder() {
  local folder="$1"
  shift
  mkdir -p "$folder"
  cp -f "$program" "$folder/rtupoll"
  {
    printf '[set]\r\n'
    printf 'Scon%d=False\r\n' 0 1 2
    printf 'port%d=%s\r\n' 0 "$1" 1 "$2" 2 "$3"
    printf 'txtIP%d=127.0.0.1\r\n' 0 1 2
    printf 'strreg%d=%s\r\n' 0 1 1 1 2 1 3 2 4 3
    printf 'legreg%d=10\r\n' 0 1 2 3 4
    printf 'LstIP%d=%s\r\n' 0 0 1 1 2 2 3 0 4 1
  } >"$folder/setting.ini"
}

# A program folder with no device configured: the three slots on 127.0.0.1
# at the given ports but none saved, and the reads as a fresh set-up has
# them (no registers). The poll cycle still walks the five reads every
# second, finding their device not connected; nothing connects.
make_unconfigured_folder() {
  local folder="$1"
  shift
  mkdir -p "$folder"
  cp -f "$program" "$folder/rtupoll"
  {
    printf '[set]\r\n'
    printf 'Scon%d=True\r\n' 0 1 2
    printf 'port%d=%s\r\n' 0 "$1" 1 "$2" 2 "$3"
    printf 'txtIP%d=127.0.0.1\r\n' 0 1 2
  } >"$folder/setting.ini"
}

# Starts the program of the folder, offscreen or under xvfb-run, through
# bench-launch, which stamps the launch on the monotonic clock; sets
# program_pid, runner_pid and (under xvfb-run) xvfb_pid.
start_program() {
  local folder="$1" mode="$2"
  rm -f "$folder/launch"
  if [[ "$mode" == offscreen ]]; then
    env -u DISPLAY QT_QPA_PLATFORM=offscreen "${program_env[@]}" "$bin/bench-launch" "$folder/launch" "$folder/rtupoll" \
      >"$folder/program.out" 2>&1 &
  else
    env -u QT_QPA_PLATFORM "${program_env[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" \
      "$bin/bench-launch" "$folder/launch" "$folder/rtupoll" >"$folder/program.out" 2>&1 &
  fi
  runner_pid=$!
  started+=("$runner_pid")
  while [[ ! -s "$folder/launch" ]]; do
    if ! kill -0 "$runner_pid" 2>/dev/null; then
      say "the program did not start; see $folder/program.out" >&2
      exit 1
    fi
    sleep 0.01
  done
  read -r program_pid _ <"$folder/launch"
  xvfb_pid=""
  if [[ "$mode" == xvfb ]]; then
    xvfb_pid="$(ps -o pid=,comm= --ppid "$runner_pid" | awk '$2 == "Xvfb" { print $1 }')"
  fi
}

# An orderly close (the program saves setting.ini), then the runner ends.
stop_program() {
  kill -TERM "$program_pid" 2>/dev/null || true
  local _
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$program_pid" 2>/dev/null || true
  wait "$runner_pid" 2>/dev/null || true
}

# Waits until the log holds at least N requests (false after the timeout).
wait_for_requests() {
  local log="$1" n="$2" timeout_s="$3" _
  for _ in $(seq $((timeout_s * 20))); do
    if [[ -f "$log" ]] && (($(wc -l <"$log") >= n)); then return 0; fi
    sleep 0.05
  done
  return 1
}

# The watch over the measuring window; prints its output and keeps it in $watch.
run_watch() {
  watch="$("$bin/bench-watch" --seconds "$seconds" "$@")"
}

process_line() { grep "^process name=$1 " <<<"$watch"; }

print_cpu() {
  local name="$1" requests="${2:-}" line
  line="$(process_line "$name")"
  local cpu_ms pct
  cpu_ms="$(field sched_cpu_ms "$line")"
  pct="$(field cpu_pct "$line")"
  printf '  %-8s CPU %s %% of a core (utime+stime %s ms; scheduler %s ms = %s %%), VmHWM %s kB, VmRSS %s kB' \
    "$name" "$pct" "$(field cpu_ms "$line")" "$cpu_ms" "$(field sched_cpu_pct "$line")" \
    "$(field vmhwm_kb "$line")" "$(field vmrss_kb "$line")"
  if [[ -n "$requests" ]] && ((requests > 0)); then
    printf ', %s requests, %s us per request' "$requests" "$(calc "$cpu_ms * 1000 / $requests" 0)"
  fi
  printf '\n'
}

# The ratio of two processes' CPU time per request (scheduler's counters).
cpu_ratio() {
  local mine theirs
  mine="$(field sched_cpu_ms "$(process_line "$1")")"
  theirs="$(field sched_cpu_ms "$(process_line "$3")")"
  if (($2 > 0 && $4 > 0)); then calc "($mine / $2) / ($theirs / $4)" 2; else printf 'n/a'; fi
}

requests_in_window() {
  local log="$1"
  shift
  local from to args=()
  from="$(field start_ns "$(grep '^window ' <<<"$watch")")"
  to="$(field end_ns "$(grep '^window ' <<<"$watch")")"
  for port in "$@"; do args+=(--port "$port"); done
  field n "$("$bin/bench-figures" count --log "$log" --from "$from" --to "$to" "${args[@]}")"
}

# A saved device that stays down in the first slot, on a port of the given
# kind (refusing or hanging), and two devices that answer in the others:
# the program runs past its start-up and the watch looks on; for hanging
# connects it also times each connect wait.
watch_with_device_down() {
  local name="$1" kind="$2"
  start_server "$name" --port 0 --port 0 "--$kind"
  local down_port="$refusing_port" extra=()
  if [[ "$kind" == hanging ]]; then
    down_port="$hanging_port"
    extra=(--hanging-port "$hanging_port" --waiter rtupoll)
  fi
  folder="$work/$name"
  make_program_folder "$folder" "$down_port" "${device_ports[0]}" "${device_ports[1]}"
  start_program "$folder" "$mode"
  wait_for_requests "$work/$name.requests" 1 30 || say "  (no requests within 30 s)"
  sleep 3
  local processes=(--process "rtupoll=$program_pid")
  if [[ -n "$xvfb_pid" ]]; then processes+=(--process "Xvfb=$xvfb_pid"); fi
  run_watch "${processes[@]}" "${extra[@]}"
  stop_program
  stop_pid "$server_pid"
}

# Runs the program of the kind (polling: three devices answering; idle: no
# device configured; down: a saved device whose connects are refused) under
# valgrind's callgrind, collecting nothing until its start-up is over, then
# counts its instructions over one window and the requests in it.
count_instructions() {
  local kind="$1" name="instructions-$1"
  case "$kind" in
    polling) start_server "$name" --port 0 --port 0 --port 0 ;;
    *) start_server "$name" --port 0 --port 0 --refusing ;;
  esac
  folder="$work/$name"
  case "$kind" in
    polling) make_program_folder "$folder" "${device_ports[@]}" ;;
    idle) make_unconfigured_folder "$folder" "${device_ports[@]}" "$refusing_port" ;;
    down) make_program_folder "$folder" "$refusing_port" "${device_ports[@]}" ;;
  esac
  env -u DISPLAY QT_QPA_PLATFORM=offscreen "${program_env[@]}" valgrind --tool=callgrind --instr-atstart=no \
    --callgrind-out-file="$folder/callgrind.out" "$folder/rtupoll" >"$folder/program.out" 2>&1 &
  program_pid=$!
  started+=("$program_pid")
  # Past the reload sequence of the start-up, which ends with tick 990.
  if [[ "$kind" == idle ]]; then sleep 10; else wait_for_requests "$work/$name.requests" 10 60 || true; fi
  sleep 3
  callgrind_control --instr=on "$program_pid" >/dev/null 2>&1
  sleep 2
  callgrind_control --zero "$program_pid" >/dev/null 2>&1
  local before after
  before="$(wc -l <"$work/$name.requests")"
  sleep "$seconds"
  callgrind_control --dump=window "$program_pid" >/dev/null 2>&1
  after="$(wc -l <"$work/$name.requests")"
  stop_pid "$program_pid"
  stop_pid "$server_pid"
  local dump instructions requests=$((after - before))
  dump="$(grep -l '^desc: Trigger: dump window' "$folder"/callgrind.out*)"
  instructions="$(sed -n 's/^summary: *//p' "$dump")"
  printf '  %-8s %s instructions in %s s: %s a second' "$kind" "$instructions" "$seconds" \
    "$(calc "$instructions / $seconds" 0)"
  if ((requests > 0)); then
    printf ', %s requests, %s a request' "$requests" "$(calc "$instructions / $requests" 0)"
  fi
  printf '\n'
}

# 1. The floor: a bare client's round trip and its own five-read cycle.
if wanted floor; then
  say ""
  say "== floor: bare client on loopback (load $(load))"
  start_server floor --port 0 --port 0 --port 0
  "$bin/bench-rtt" --port "${device_ports[0]}" --port "${device_ports[1]}" --port "${device_ports[2]}" \
    --round-trips 2000 --cycles 100 | sed 's/^/  /'
  stop_pid "$server_pid"
  floor="$("$bin/bench-figures" cycles --log "$work/floor.requests" --from 0 --to 9223372036854775807 \
    --first "${device_ports[0]}:0" --last "${device_ports[1]}:2" | grep '^cycle')"
  say "  floor cycle, server side: $floor"
  say "  (goal for rtupoll's cycle: median <= 41.5 ms; the floor is four 10 ms gaps plus the round trips)"
fi

for mode in "${modes[@]}"; do
  # 2. Launch to first request.
  if wanted launch; then
    say ""
    say "== launch to first request, $mode, $launches runs (load $(load)); nominal 5750 ms, goal <= 5900 ms"
    : >"$work/launch-$mode.ms"
    for run in $(seq "$launches"); do
      start_server "launch-$mode-$run" --port 0 --port 0 --port 0
      folder="$work/launch-$mode-$run"
      make_program_folder "$folder" "${device_ports[@]}"
      start_program "$folder" "$mode"
      if wait_for_requests "$work/launch-$mode-$run.requests" 1 30; then
        ms="$(field launch_to_first_ms "$("$bin/bench-figures" first --log "$work/launch-$mode-$run.requests" \
          --stamp "$folder/launch")")"
        say "  run $run: $ms ms"
        echo "$ms" >>"$work/launch-$mode.ms"
      else
        say "  run $run: no request within 30 s"
      fi
      stop_program
      stop_pid "$server_pid"
    done
    say "  launch to first request (ms): $("$bin/bench-figures" spread <"$work/launch-$mode.ms")"
  fi

  # 3. Polling: period, cycle length, CPU and memory beside mbpoll.
  if wanted polling; then
    say ""
    say "== polling, $mode: 3 devices, 5 reads of 10 registers, beside mbpoll at 5 requests/s, ${seconds} s (load $(load))"
    start_server "polling-$mode" --port 0 --port 0 --port 0 --port 0
    folder="$work/polling-$mode"
    make_program_folder "$folder" "${device_ports[@]:0:3}"
    start_program "$folder" "$mode"
    mbpoll -m tcp -a 1 -r 1 -c 10 -t 4 -l 200 -p "${device_ports[3]}" 127.0.0.1 >/dev/null 2>&1 &
    mbpoll_pid=$!
    started+=("$mbpoll_pid")
    # Past the start-up: the first cycle, and the reload sequence has ended.
    wait_for_requests "$work/polling-$mode.requests" 10 30 || say "  (no requests within 30 s)"
    sleep 3
    processes=(--process "rtupoll=$program_pid" --process "mbpoll=$mbpoll_pid")
    if [[ -n "$xvfb_pid" ]]; then processes+=(--process "Xvfb=$xvfb_pid"); fi
    run_watch "${processes[@]}"
    stop_pid "$mbpoll_pid"
    stop_program
    stop_pid "$server_pid"
    window="$(grep '^window ' <<<"$watch")"
    cycles="$("$bin/bench-figures" cycles --log "$work/polling-$mode.requests" --from "$(field start_ns "$window")" \
      --to "$(field end_ns "$window")" --first "${device_ports[0]}:0" --last "${device_ports[1]}:2")"
    say "  poll clock: $(grep '^period' <<<"$cycles")"
    say "    (goal: mean 1000 ms within 1 ms, largest deviation <= 10 ms)"
    say "  cycle, first read to fifth: $(grep '^cycle' <<<"$cycles")"
    say "    (goal: median <= 41.5 ms; floor above)"
    rtupoll_requests="$(requests_in_window "$work/polling-$mode.requests" "${device_ports[@]:0:3}")"
    mbpoll_requests="$(requests_in_window "$work/polling-$mode.requests" "${device_ports[3]}")"
    print_cpu rtupoll "$rtupoll_requests"
    print_cpu mbpoll "$mbpoll_requests"
    if [[ -n "$xvfb_pid" ]]; then print_cpu Xvfb; fi
    say "  CPU per request, rtupoll to mbpoll: $(cpu_ratio rtupoll "$rtupoll_requests" mbpoll "$mbpoll_requests")"
    say "    (goal: <= 2.0)"
  fi

  # 4. A saved device that stays down: its port refuses connections.
  if wanted down; then
    say ""
    say "== saved device down (connects refused), $mode, ${seconds} s (load $(load))"
    watch_with_device_down "down-$mode" refusing
    print_cpu rtupoll "$(requests_in_window "$work/down-$mode.requests" "${device_ports[@]}")"
    if [[ -n "$xvfb_pid" ]]; then print_cpu Xvfb; fi
    say "    (goal for rtupoll: <= 0.5 % of a core)"
  fi

  # 5. Connect waits that hang: the saved device's SYN is dropped.
  if wanted hanging; then
    say ""
    say "== connect waits that hang, $mode, ${seconds} s (load $(load))"
    watch_with_device_down "hanging-$mode" hanging
    print_cpu rtupoll
    if [[ -n "$xvfb_pid" ]]; then print_cpu Xvfb; fi
    waits="$(grep '^wait ' <<<"$watch" | sed 's/.*cpu_ms=//')"
    if [[ -n "$waits" ]]; then
      say "  CPU per 2 s connect wait (ms): $("$bin/bench-figures" spread <<<"$waits")"
      say "    each: $(tr '\n' ' ' <<<"$waits")"
    else
      say "  no connect wait seen"
    fi
    say "    (goal: <= 20 ms per 2 s wait)"
  fi

  # 6. No device configured: the poll cycle and the window, nothing else.
  if wanted idle; then
    say ""
    say "== no device configured, $mode, ${seconds} s (load $(load))"
    start_server "idle-$mode" --port 0 --port 0 --port 0
    folder="$work/idle-$mode"
    make_unconfigured_folder "$folder" "${device_ports[@]}"
    start_program "$folder" "$mode"
    # Past the start-up's reload sequence (990 ticks of 5 ms).
    sleep 8
    processes=(--process "rtupoll=$program_pid")
    if [[ -n "$xvfb_pid" ]]; then processes+=(--process "Xvfb=$xvfb_pid"); fi
    run_watch "${processes[@]}"
    stop_program
    stop_pid "$server_pid"
    print_cpu rtupoll
    if [[ -n "$xvfb_pid" ]]; then print_cpu Xvfb; fi
    say "    (goal for rtupoll: <= 0.05 % of a core)"
  fi

done

# 7. Instructions: the program under callgrind, offscreen, counting from
# the end of its start-up. Instruction counts do not depend on the load of
# the machine, so they compare builds where CPU times are too noisy.
if wanted instructions; then
  say ""
  say "== instructions (callgrind, offscreen), ${seconds} s windows (load $(load))"
  count_instructions polling
  say "    (goal: <= 150000 instructions per request)"
  count_instructions idle
  count_instructions down
fi

say ""
say "load average at the end: $(load)"
