#!/usr/bin/env python3
"""How long the program takes to start and to close when its setting.ini is
not an ordinary small file: a FIFO nobody writes to, a link to /dev/zero, a
link to itself, a sparse gigabyte; and a small ordinary file beside them.

    bench/hostile_files.py [--runs N] [--program FILE] [--no-build]

Start-up is timed from the launch until the program catches SIGTERM (its
handlers are set just before the event loop runs), close from SIGTERM to
the program's exit. The program runs offscreen from a temporary folder;
with a hostile setting.ini it has the defaults, where no slot is saved, so
it connects nowhere.
"""

import argparse
import os
import pathlib
import signal
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))

from rtupoll_harness import build  # noqa: E402
from rtupoll_harness.processes import Child  # noqa: E402
from rtupoll_harness.program import ProgramFolder  # noqa: E402

QUIT_SIGNALS = (signal.SIGHUP, signal.SIGINT, signal.SIGTERM)


def make_fifo(path):
    os.mkfifo(path)


def link_to_dev_zero(path):
    os.symlink("/dev/zero", path)


def link_to_itself(path):
    os.symlink(path, path)


def sparse_gigabyte(path):
    with open(path, "wb") as file:
        file.truncate(1 << 30)


def ordinary(path):
    path.write_bytes(b"[set]\r\ntxtIP0=127.0.0.1\r\n")


FILES = {"ordinary": ordinary, "FIFO": make_fifo, "/dev/zero link": link_to_dev_zero,
         "link loop": link_to_itself, "sparse 1 GiB": sparse_gigabyte}


def catches_quit_signals(pid):
    with open(f"/proc/{pid}/status") as status:
        caught = int(next(line.split()[1] for line in status if line.startswith("SigCgt:")), 16)
    return all(caught >> (s - 1) & 1 for s in QUIT_SIGNALS)


def time_one(work, name, make, program):
    folder = ProgramFolder(work, name, executable=program)
    settings = folder.path / "setting.ini"
    make(settings)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.pop("DISPLAY", None)
    launched = time.monotonic()
    child = Child([folder.path / "rtupoll"], env=env, cwd=work)
    while not catches_quit_signals(child.pid):
        time.sleep(0.001)
    started = time.monotonic()
    child.stop(signal.SIGTERM, timeout=60)
    return started - launched, time.monotonic() - started


def milliseconds(values):
    return f"{min(values) * 1000:.0f}-{max(values) * 1000:.0f} ms"


def main():
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1].strip())
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--program", type=pathlib.Path, help="another build of rtupoll to measure")
    parser.add_argument("--no-build", action="store_true", help="use build/ as it is")
    args = parser.parse_args()
    if not args.no_build:
        build.make("rtupoll")
    program = args.program or build.program()
    print(f"program: {program}, {args.runs} runs each (goals: start-up <= 200 ms, close <= 500 ms)")
    with tempfile.TemporaryDirectory(prefix="rtupoll-bench-files.") as work:
        for kind, (name, make) in enumerate(FILES.items()):
            times = [time_one(pathlib.Path(work), f"{kind}-{run}", make, program) for run in range(args.runs)]
            print(f"  {name:<15} launch to event loop {milliseconds([t[0] for t in times])}, "
                  f"SIGTERM to exit {milliseconds([t[1] for t in times])}")


if __name__ == "__main__":
    main()
