#!/usr/bin/env python3
"""Figures of dead field links: how long a silent death takes to show and
how long the return takes to end, for a saved slot, a slot the operator
connected by hand (not saved) and a device that takes a single client.

    bench/link_faults.py [--rounds N] [--outage SECONDS] [--settle SECONDS]
                         [--program FILE] [--backed-off-handshakes] [--congestion NAME]
                         [--no-build]

Needs root: everything runs inside a network namespace of its own, on
loopback, with the links cut by nftables (the program's packets to and
from the device are dropped both ways: no FIN, no RST). Two programs run
side by side, each with its devices:

  1. slots A (saved), B (saved, never cut) and C (connected by a click,
     not saved), under Xvfb for the click; A and C are cut together;
  2. slot A' (saved) on a device that serves a single client at a time,
     and B' (never cut); A' is cut.

Round i (from 0) cuts for --outage seconds (default 20) plus i times 2.3 s,
so that the returns fall at different moments of the reconnect attempts,
lets the path back and watches for --settle seconds (default 8). Times are read off the namespace's
TCP table (the program's link gone), data.csv (rewritten every second: the
first "???", the first values the device took after the return) and the
simulator's request log. --program measures another build of rtupoll;
--backed-off-handshakes makes the namespace's kernel retry an unanswered
handshake after 1, 2, 4 s, as kernels before Linux 6.5 (Debian 12's) do.
"""

import argparse
import pathlib
import platform
import statistics
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))

from rtupoll_harness import build, namespace, tcp_table  # noqa: E402
from rtupoll_harness.field import Field  # noqa: E402
from rtupoll_harness.link_faults import LinkFaults  # noqa: E402
from rtupoll_harness.outage import silent_outage  # noqa: E402
from rtupoll_harness.program import Read  # noqa: E402
from rtupoll_harness.xdisplay import VirtualDisplay  # noqa: E402

# Each round's outage is this much longer than the one before.
OUTAGE_STEP = 2.3

READS = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(2, 1, 2)]


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--outage", type=float, default=20.0, help="seconds each cut lasts")
    parser.add_argument("--settle", type=float, default=8.0, help="seconds watched after each return")
    parser.add_argument("--program", type=pathlib.Path, help="another build of rtupoll to measure")
    parser.add_argument("--backed-off-handshakes", action="store_true", help="as kernels before Linux 6.5")
    parser.add_argument("--congestion", help="the namespace's TCP congestion control, e.g. reno")
    parser.add_argument("--no-build", action="store_true", help="use build/ as it is")
    return parser.parse_args()


def wait_polled(field, devices):
    since = time.time()
    for device in devices:
        if field.first_fresh(device, since, 40, every_read=False) is None:
            raise RuntimeError(f"device {device.number} was never polled")


def saved_and_hand_connected(work, faults, args, results):
    """Program 1: A saved, B untouched, C connected by a click; A and C cut."""
    field = Field(work / "saved", lifetime=3600)
    display = VirtualDisplay()
    try:
        a, b, c = field.devices(3)
        field.start([(a, True), (b, True), (c, False)], READS, display=display.name, executable=args.program)
        window = display.window("Form1")
        wait_polled(field, [a, b])
        for i in range(args.rounds):
            if not c.connected():
                display.click_connect(window, 2)
                wait_polled(field, [c])
            saved, hand = silent_outage(field, faults, [a, c], args.outage + i * OUTAGE_STEP, args.settle)
            results["saved"].append(saved)
            results["hand"].append(hand)
            results["hand reconnected"].append(bool(c.program_ends(tcp_table.ESTABLISHED)))
            results["resources"].append((field.program.open_files(), field.program.resident_kib()))
    finally:
        field.close()
        display.stop()


def single_client(work, faults, args, results):
    """Program 2: A' on a single-client device, saved, cut; B' untouched."""
    field = Field(work / "single", lifetime=3600)
    try:
        (a,) = field.devices(1, behaviour=["--single-client"])
        (b,) = field.devices(1, first_device=1)
        reads = [Read(0, 1, 3), Read(1, 1, 3), Read(0, 1, 2), Read(1, 1, 2), Read(0, 1, 1)]
        field.start([(a, True), (b, True), (None, False)], reads, executable=args.program)
        wait_polled(field, [a, b])
        for i in range(args.rounds):
            turned_away = len(a.simulator.turned_away())
            (seen,) = silent_outage(field, faults, [a], args.outage + i * OUTAGE_STEP, args.settle)
            results["single"].append(seen)
            results["turned away"].append(len(a.simulator.turned_away()) - turned_away)
    finally:
        field.close()


def spread(values, unit="s"):
    """median (min-max) of the values that happened; how many did not."""
    happened = [v for v in values if v is not None]
    missing = len(values) - len(happened)
    if not happened:
        return f"never (in {len(values)} rounds)"
    text = f"{statistics.median(happened):.1f} {unit} ({min(happened):.1f}-{max(happened):.1f})"
    return text + (f", never in {missing} of {len(values)}" if missing else "")


def print_recoveries(title, recoveries, saved):
    print(title)
    print(f"  death to the link closed (state not 7)     {spread([r.closed_after for r in recoveries])}")
    print(f'  death to "???" in data.csv                 {spread([r.unknown_after for r in recoveries])}')
    if saved:
        print(f"  return to the first request at the device  {spread([r.requested_after for r in recoveries])}")
        print(f"  return to fresh values in data.csv         {spread([r.fresh_after for r in recoveries])}")
        print(f"  most requests within 0.3 s after return    {max(r.burst for r in recoveries)}")


def main():
    args = parse_arguments()
    if not args.no_build:
        build.make("rtupoll", "rtu-sim")
    namespace.enter_private_network()
    if args.congestion:
        namespace.use_congestion_control(args.congestion)
    if args.backed_off_handshakes:
        namespace.handshakes_back_off_at_once()
    faults = LinkFaults()
    results = {key: [] for key in ("saved", "hand", "hand reconnected", "resources", "single", "turned away")}
    with tempfile.TemporaryDirectory(prefix="rtupoll-bench-links.") as work:
        work = pathlib.Path(work)
        print(f"== rtupoll link-fault figures, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}")
        backoff = ", handshakes backed off 1, 2, 4 s" if args.backed_off_handshakes else ""
        print(f"kernel {platform.release()}{backoff}, congestion control {namespace.congestion_control()}; "
              f"program: {args.program or 'build/rtupoll'}")
        last = args.outage + (args.rounds - 1) * OUTAGE_STEP
        print(f"{args.rounds} rounds: links cut for {args.outage:g} to {last:g} s, then watched for {args.settle:g} s")
        failures = []

        def run(scenario):
            try:
                scenario(work, faults, args, results)
            except Exception as e:  # reported below, after the other scenario ended
                failures.append(f"{scenario.__name__}: {e!r}")

        scenarios = [threading.Thread(target=run, args=(s,)) for s in (saved_and_hand_connected, single_client)]
        for thread in scenarios:
            thread.start()
        for thread in scenarios:
            thread.join()
        faults.clear()
    if failures:
        sys.exit("\n".join(failures))

    print_recoveries("saved slot (reconnected by the reload sequence):", results["saved"], saved=True)
    print_recoveries("slot connected by hand, not saved:", results["hand"], saved=False)
    print(f"  reconnected after the return             {sum(results['hand reconnected'])} of {args.rounds}")
    print_recoveries("single-client device, saved:", results["single"], saved=True)
    print(f"  connections the device turned away       {sum(results['turned away'])}")
    files = [f for f, _ in results["resources"]]
    resident = [r for _, r in results["resources"]]
    print(f"program 1 after each round: open files {files}, VmRSS {resident} KiB")


if __name__ == "__main__":
    main()
