#!/usr/bin/env python3
"""rtupoll's benchmarks against rtu-sim on 127.0.0.1, printed with their goals.

    bench/run.sh [--build DIR] [--seconds N] [--launches N] [--display MODES]
                 [--only LIST] [--program FILE] [--env VAR=VALUE]...
                 [--values live|static]

bench/run.sh installs what is missing, builds the benchmark programs and
runs this driver with the same arguments.

  --build DIR      build folder (default build/ at the top of the tree)
  --seconds N      length of each measuring window (default 60)
  --launches N     runs for the launch-to-first-request figure (default 5)
  --display MODES  offscreen, xvfb or both (default both): how the program
                   shows its window; on Xvfb repaints reach a real X
                   server, offscreen they end in Qt's own backing store
  --only LIST      some of floor,launch,polling,down,hanging,idle,
                   instructions (default all)
  --program FILE   measure this rtupoll instead of the build's (before/after)
  --env VAR=VALUE  put VAR in the program's environment (repeatable)
  --values KIND    live (default): every fourth register from 2 on and the
                   counter change every second, 15 value cells of the five
                   reads; static: the counter, sine and sawtooth only, 12

Logs and the program folders stay in a temporary folder, printed at the
start. Every server, the program and mbpoll talk to 127.0.0.1 only, and the
program's setting.ini names 127.0.0.1 and the benchmark's ports for all
three device slots before it starts.
"""

import argparse
import contextlib
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))

from rtupoll_harness.processes import Child  # noqa: E402
from rtupoll_harness.program import ProgramFolder, Read, Slot  # noqa: E402
from rtupoll_harness.simulator import Simulator  # noqa: E402
from rtupoll_harness.xdisplay import VirtualDisplay  # noqa: E402

SCENARIOS = ("floor", "launch", "polling", "down", "hanging", "idle", "instructions")

# Five reads of 10 registers, as in the demo but all of 10: devices A, B, C
# from register 1, then A from register 2 and B from register 3. Each read
# has its own device and address, so the log tells the reads apart: the
# first of a cycle is A at address 0, the last B at address 2.
READS = [Read(0, 1, 10), Read(1, 1, 10), Read(2, 1, 10), Read(0, 2, 10), Read(1, 3, 10)]
FIRST_READ, LAST_READ = (0, 0), (1, 2)  # (slot, address) of a cycle's first and last request

POLL_PERIOD_MS = 1000
NANOS_PER_MS = 1e6
# The program's start-up reload sequence ends with tick 990 of 5 ms; a
# window starts this long after it so that it holds steady polling only.
SETTLE_SECONDS = 3


def parse_arguments():
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1].strip())
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--launches", type=int, default=5)
    parser.add_argument("--display", choices=("offscreen", "xvfb", "both"), default="both")
    parser.add_argument("--only", default=",".join(SCENARIOS))
    parser.add_argument("--program", type=pathlib.Path)
    parser.add_argument("--env", action="append", default=[], metavar="VAR=VALUE")
    parser.add_argument("--values", choices=("live", "static"), default="live")
    args = parser.parse_args()
    args.only = set(args.only.split(","))
    if not args.only <= set(SCENARIOS):
        parser.error(f"--only takes some of {','.join(SCENARIOS)}")
    args.modes = ("offscreen", "xvfb") if args.display == "both" else (args.display,)
    args.build = args.build.resolve()
    os.environ["RTUPOLL_BUILD_DIR"] = str(args.build)  # where the harness finds rtu-sim
    args.program = (args.program or args.build / "rtupoll").resolve()
    args.env = dict(pair.split("=", 1) for pair in args.env)
    return args


def changing(address, live):
    """Whether rtu-sim changes that register every second."""
    return address == 0 or address % 4 == 2 if live else address <= 2


def changed_cells(live):
    """The value cells of READS that change every second."""
    return sum(changing(read.first - 1 + k, live) for read in READS for k in range(read.count))


def key_values(line):
    """{key: value} of a benchmark program's line "word key=value ..."."""
    return dict(word.split("=", 1) for word in line.split()[1:] if "=" in word)


def spread(values):
    return (f"n={len(values)} median={statistics.median(values):.1f} "
            f"min={min(values):.1f} max={max(values):.1f}")


def load():
    return " ".join(pathlib.Path("/proc/loadavg").read_text().split()[:3])


class Watch:
    """bench-watch's figures over one measuring window."""

    def __init__(self, output):
        lines = output.splitlines()
        window = key_values(next(line for line in lines if line.startswith("window ")))
        self.start_ns, self.end_ns = int(window["start_ns"]), int(window["end_ns"])
        self.processes = {}
        for line in lines:
            if line.startswith("process "):
                figures = key_values(line)
                self.processes[figures["name"]] = figures
        self.waits_cpu_ms = [float(key_values(line)["cpu_ms"]) for line in lines if line.startswith("wait ")]

    def requests(self, simulator, ports):
        return [q for q in simulator.requests() if q.port in ports and self.start_ns <= q.arrival_ns <= self.end_ns]

    def cpu_line(self, name, requests=0):
        p = self.processes[name]
        line = (f"  {name:<8} CPU {p['cpu_pct']} % of a core (utime+stime {p['cpu_ms']} ms; "
                f"scheduler {p['sched_cpu_ms']} ms = {p['sched_cpu_pct']} %), "
                f"VmHWM {p['vmhwm_kb']} kB, VmRSS {p['vmrss_kb']} kB")
        if requests:
            line += f", {requests} requests, {float(p['sched_cpu_ms']) * 1000 / requests:.0f} us per request"
        return line

    def cpu_per_request(self, name, requests):
        return float(self.processes[name]["sched_cpu_ms"]) / requests


def poll_figures(requests, first, last, end_ns):
    """The poll clock's period (between consecutive first reads of a cycle)
    and each cycle's length (from its first read to its last), in lines."""
    starts = [q.arrival_ns for q in requests if (q.port, q.address) == first]
    if len(starts) < 2:
        return ["fewer than two cycles in the window"]
    periods = [(b - a) / NANOS_PER_MS for a, b in zip(starts, starts[1:])]
    worst = max(periods, key=lambda p: abs(p - POLL_PERIOD_MS)) - POLL_PERIOD_MS
    lines = [f"period n={len(periods)} mean_ms={statistics.mean(periods):.3f} largest_deviation_ms={worst:+.3f} "
             f"min_ms={min(periods):.3f} max_ms={max(periods):.3f}"]
    # A cycle's last read belongs to it only if it comes before the next
    # cycle's first read; a cycle held up by a silent device has none.
    lengths = []
    for start, next_start in zip(starts, starts[1:] + [end_ns]):
        ends = [q.arrival_ns for q in requests if (q.port, q.address) == last and start < q.arrival_ns < next_start]
        if ends:
            lengths.append((ends[0] - start) / NANOS_PER_MS)
    incomplete = len(starts) - len(lengths)
    if not lengths:
        return lines + [f"cycle n=0 incomplete={incomplete}"]
    ordered = sorted(lengths)
    lines.append(f"cycle n={len(lengths)} median_ms={statistics.median(lengths):.3f} "
                 f"p90_ms={ordered[int(0.9 * (len(ordered) - 1))]:.3f} min_ms={ordered[0]:.3f} "
                 f"max_ms={ordered[-1]:.3f} incomplete={incomplete}")
    return lines


def wait_for_requests(simulator, n, timeout):
    """Waits until the simulator has logged at least n requests."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if len(simulator.requests()) >= n:
            return True
        time.sleep(0.05)
    print(f"  (fewer than {n} requests within {timeout} s)")
    return False


class Bench:
    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.tools = args.build / "bench"

    @contextlib.contextmanager
    def simulator(self, name, devices, **down):
        live = ["--live"] if self.args.values == "live" else []
        simulator = Simulator(self.work, name, devices=devices, seconds=self.args.seconds * 3 + 120, extra=live,
                              **down)
        try:
            yield simulator
        finally:
            simulator.stop()

    def folder(self, name, ports, saved=True, reads=READS):
        """A program folder whose three slots are on 127.0.0.1 at ports.

        saved: all slots connected at the last close, so the start-up
        connects them; otherwise none is, and with reads=None the reads are
        a fresh set-up's: the poll cycle walks them every second, finding
        their device not connected, and nothing connects.
        """
        folder = ProgramFolder(self.work, name, executable=self.args.program)
        folder.write_settings([Slot(port, saved=saved) for port in ports], reads)
        return folder

    @contextlib.contextmanager
    def running(self, folder, mode):
        """The program of the folder, offscreen or on its own Xvfb, started
        through bench-launch, which stamps the launch on the monotonic clock
        and becomes the program; yields the Xvfb (or None)."""
        display = VirtualDisplay() if mode == "xvfb" else None
        try:
            folder.start(display and display.name, env=self.args.env,
                         launcher=[self.tools / "bench-launch", folder.path / "launch"])
            try:
                yield display
            finally:
                folder.stop()
        finally:
            if display:
                display.stop()

    def watch(self, folder, display, others=(), extra=()):
        processes = {"rtupoll": folder.pid, **dict(others)}
        if display:
            processes["Xvfb"] = display.pid
        args = [self.tools / "bench-watch", "--seconds", self.args.seconds, *extra]
        for name, pid in processes.items():
            args += ["--process", f"{name}={pid}"]
        return Watch(subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True).stdout)

    def floor(self):
        print(f"\n== floor: bare client on loopback (load {load()})")
        with self.simulator("floor", 3) as simulator:
            ports = simulator.ports
            args = [self.tools / "bench-rtt", "--round-trips", 2000, "--cycles", 100]
            for port in ports:
                args += ["--port", port]
            output = subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True).stdout
            print("".join(f"  {line}\n" for line in output.splitlines()), end="")
        for line in poll_figures(simulator.requests(), *self.cycle_reads(ports), end_ns=2**63):
            if line.startswith("cycle"):
                print(f"  floor cycle, server side: {line}")
        print("  (goal for rtupoll's cycle: median <= 41.5 ms; the floor is four 10 ms gaps plus the round trips)")

    @staticmethod
    def cycle_reads(ports):
        return [(ports[slot], address) for slot, address in (FIRST_READ, LAST_READ)]

    def launch(self, mode):
        print(f"\n== launch to first request, {mode}, {self.args.launches} runs (load {load()}); "
              "nominal 5750 ms, goal <= 5900 ms")
        times = []
        for run in range(1, self.args.launches + 1):
            name = f"launch-{mode}-{run}"
            with self.simulator(name, 3) as simulator:
                folder = self.folder(name, simulator.ports)
                with self.running(folder, mode):
                    if wait_for_requests(simulator, 1, 30):
                        launched = int((folder.path / "launch").read_text().split()[1])
                        times.append((simulator.requests()[0].arrival_ns - launched) / NANOS_PER_MS)
                        print(f"  run {run}: {times[-1]:.1f} ms")
        if times:
            print(f"  launch to first request (ms): {spread(times)}")

    def polling(self, mode):
        print(f"\n== polling, {mode}: 3 devices, 5 reads of 10 registers, beside mbpoll at 5 requests/s, "
              f"{self.args.seconds} s (load {load()})")
        with self.simulator(f"polling-{mode}", 4) as simulator:
            mine, theirs = simulator.ports[:3], simulator.ports[3:]
            folder = self.folder(f"polling-{mode}", mine)
            with self.running(folder, mode) as display:
                mbpoll = Child(["mbpoll", "-m", "tcp", "-a", 1, "-r", 1, "-c", 10, "-t", 4, "-l", 200,
                                "-p", theirs[0], "127.0.0.1"], output=subprocess.DEVNULL)
                try:
                    # Past the start-up: the first cycle, and the reload sequence has ended.
                    wait_for_requests(simulator, 10, 30)
                    time.sleep(SETTLE_SECONDS)
                    watch = self.watch(folder, display, others={"mbpoll": mbpoll.pid})
                finally:
                    mbpoll.stop()
        period, *cycle = poll_figures(watch.requests(simulator, mine), *self.cycle_reads(mine), watch.end_ns)
        print(f"  poll clock: {period}\n    (goal: mean 1000 ms within 1 ms, largest deviation <= 10 ms)")
        print(f"  cycle, first read to fifth: {' '.join(cycle)}\n    (goal: median <= 41.5 ms; floor above)")
        requests = {"rtupoll": len(watch.requests(simulator, mine)), "mbpoll": len(watch.requests(simulator, theirs))}
        for name in watch.processes:
            print(watch.cpu_line(name, requests.get(name, 0)))
        if all(requests.values()):
            ratio = watch.cpu_per_request("rtupoll", requests["rtupoll"]) / watch.cpu_per_request(
                "mbpoll", requests["mbpoll"])
            print(f"  CPU per request, rtupoll to mbpoll: {ratio:.2f}\n    (goal: <= 2.0)")

    def device_down(self, mode, kind):
        """A saved device that stays down in the first slot, its connects
        refused or hanging, and two devices that answer in the others; for
        hanging connects bench-watch also times each 2 s connect wait."""
        name = f"{kind}-{mode}"
        with self.simulator(name, 2, **{kind: 1}) as simulator:
            down = (simulator.refusing_ports or simulator.hanging_ports)[0]
            folder = self.folder(name, [down, *simulator.ports])
            extra = ["--hanging-port", down, "--waiter", "rtupoll"] if kind == "hanging" else []
            with self.running(folder, mode) as display:
                wait_for_requests(simulator, 1, 30)
                time.sleep(SETTLE_SECONDS)
                watch = self.watch(folder, display, extra=extra)
        requests = len(watch.requests(simulator, simulator.ports)) if kind == "refusing" else 0
        for process in watch.processes:
            print(watch.cpu_line(process, requests if process == "rtupoll" else 0))
        return watch

    def down(self, mode):
        print(f"\n== saved device down (connects refused), {mode}, {self.args.seconds} s (load {load()})")
        self.device_down(mode, "refusing")
        print("    (goal for rtupoll: <= 0.5 % of a core)")

    def hanging(self, mode):
        print(f"\n== connect waits that hang, {mode}, {self.args.seconds} s (load {load()})")
        waits = self.device_down(mode, "hanging").waits_cpu_ms
        if waits:
            print(f"  CPU per 2 s connect wait (ms): {spread(waits)}")
            print(f"    each: {' '.join(f'{w:.2f}' for w in waits)}")
        else:
            print("  no connect wait seen")
        print("    (goal: <= 20 ms per 2 s wait)")

    def idle(self, mode):
        print(f"\n== no device configured, {mode}, {self.args.seconds} s (load {load()})")
        with self.simulator(f"idle-{mode}", 3) as simulator:
            folder = self.folder(f"idle-{mode}", simulator.ports, saved=False, reads=None)
            with self.running(folder, mode) as display:
                time.sleep(5 + SETTLE_SECONDS)  # past the start-up's reload sequence
                watch = self.watch(folder, display)
        for process in watch.processes:
            print(watch.cpu_line(process))
        print("    (goal for rtupoll: <= 0.05 % of a core)")

    def instructions(self):
        """The program under callgrind, offscreen, counting from the end of
        its start-up: instruction counts do not depend on the load of the
        machine, so they compare builds where CPU times are too noisy."""
        print(f"\n== instructions (callgrind, offscreen), {self.args.seconds} s windows (load {load()})")
        self.count_instructions("polling")
        print("    (goal: <= 150000 instructions per request)")
        self.count_instructions("idle")
        self.count_instructions("down")

    def count_instructions(self, kind):
        """kind polling: three devices answering; idle: no device
        configured; down: a saved device whose connects are refused."""
        name = f"instructions-{kind}"
        devices, refusing = (2, 1) if kind == "down" else (3, 0)
        with self.simulator(name, devices, refusing=refusing) as simulator:
            folder = self.folder(name, simulator.refusing_ports + simulator.ports,
                                 saved=kind != "idle", reads=None if kind == "idle" else READS)
            dump = folder.path / "callgrind.out"
            folder.start(env=self.args.env, launcher=["valgrind", "--tool=callgrind", "--instr-atstart=no",
                                                      f"--callgrind-out-file={dump}"])
            try:
                if kind == "idle":
                    time.sleep(10)
                else:
                    wait_for_requests(simulator, 10, 60)
                time.sleep(SETTLE_SECONDS)
                control = ["callgrind_control"]
                subprocess.run(control + ["--instr=on", str(folder.pid)], check=True, capture_output=True)
                time.sleep(2)
                subprocess.run(control + ["--zero", str(folder.pid)], check=True, capture_output=True)
                before = len(simulator.requests())
                time.sleep(self.args.seconds)
                subprocess.run(control + ["--dump=window", str(folder.pid)], check=True, capture_output=True)
                requests = len(simulator.requests()) - before
            finally:
                folder.stop()
        instructions = dumped_instructions(folder.path)
        line = f"  {kind:<8} {instructions} instructions in {self.args.seconds} s: " \
               f"{instructions / self.args.seconds:.0f} a second"
        if requests:
            line += f", {requests} requests, {instructions / requests:.0f} a request"
        print(line)


def dumped_instructions(folder):
    """The instruction count of callgrind's dump named "window" in folder."""
    for dump in folder.glob("callgrind.out*"):
        text = dump.read_text()
        if "desc: Trigger: dump window" in text:
            return next(int(line.split()[1]) for line in text.splitlines() if line.startswith("summary:"))
    raise RuntimeError(f"no dump of the window in {folder}")


def package_version(name):
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True, text=True).stdout


def main():
    args = parse_arguments()
    cpu = next(line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name"))
    memory_kib = int(next(line.split()[1] for line in open("/proc/meminfo") if line.startswith("MemTotal")))
    work = tempfile.mkdtemp(prefix="rtupoll-bench.")
    print(f"== rtupoll benchmarks, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}")
    print(f"machine: {os.cpu_count()} cores, {cpu}, {memory_kib / 1048576:.1f} GiB memory, "
          f"Debian {pathlib.Path('/etc/debian_version').read_text().strip()}, kernel {platform.release()}, "
          f"Qt {package_version('qt6-base-dev')}, mbpoll {package_version('mbpoll')}")
    extra = "".join(f" with {k}={v}" for k, v in args.env.items())
    print(f"build: {args.build}; program: {args.program}{extra}")
    print(f"values: {args.values}, {changed_cells(args.values == 'live')} changed cells a second")
    print(f"logs: {work}")
    print(f"load average at the start: {load()}", flush=True)
    bench = Bench(args, pathlib.Path(work))
    if "floor" in args.only:
        bench.floor()
    for mode in args.modes:
        for scenario in ("launch", "polling", "down", "hanging", "idle"):
            if scenario in args.only:
                getattr(bench, scenario)(mode)
                sys.stdout.flush()
    if "instructions" in args.only:
        bench.instructions()
    print(f"\nload average at the end: {load()}")


if __name__ == "__main__":
    main()
