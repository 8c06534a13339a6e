#!/usr/bin/env python3
"""Lossy links that stay alive: three saved devices, each behind a 150 ms
link that loses 30 % of its packets each way, polled for a while. Prints per
device the connections it took (1: never taken for dead), the requests that
reached it and the longest stretches without a new one, which show how near
TCP's backed-off retransmissions come to the 10 s user timeout.

    bench/lossy_links.py [--seconds N] [--loss PERCENT] [--rtt MS]
                         [--congestion NAME] [--no-build]

Needs root: everything runs inside a network namespace of its own, on
loopback, with the loss made by nftables. --congestion sets the namespace's
TCP congestion control (Debian's default is cubic). It matters: Linux
retransmits a thin stream at an even pace only once a loss has set its
slow-start threshold, which cubic and reno do and BBR does not.
$RTUPOLL_PROGRAM measures another build.
"""

import argparse
import pathlib
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))

from rtupoll_harness import build, namespace  # noqa: E402
from rtupoll_harness.field import Field  # noqa: E402
from rtupoll_harness.link_faults import LinkFaults  # noqa: E402
from rtupoll_harness.program import Read  # noqa: E402

READS = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(1, 1, 2)]


def main():
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1].strip())
    parser.add_argument("--seconds", type=int, default=300)
    parser.add_argument("--loss", type=int, default=30, help="percent of the packets lost each way")
    parser.add_argument("--rtt", type=int, default=150, help="round trip of each link in ms")
    parser.add_argument("--congestion", help="the namespace's TCP congestion control, e.g. reno")
    parser.add_argument("--no-build", action="store_true", help="use build/ as it is")
    args = parser.parse_args()
    if not args.no_build:
        build.make("rtupoll", "rtu-sim")
    namespace.enter_private_network()
    if args.congestion:
        namespace.use_congestion_control(args.congestion)
    faults = LinkFaults()
    with tempfile.TemporaryDirectory(prefix="rtupoll-bench-lossy.") as work:
        field = Field(pathlib.Path(work))
        try:
            links = [field.behind_link(device, args.rtt) for device in field.devices(3)]
            for link in links:
                faults.lose(link.dial, args.loss)
            field.start([(link, True) for link in links], READS)
            begin = time.time()
            print(f"{build.program()}: 3 saved devices behind {args.rtt} ms links losing {args.loss} % each way, "
                  f"{args.seconds} s, congestion control {namespace.congestion_control()}")
            time.sleep(args.seconds)
            for link in links:
                arrivals = [q.time for q in link.requests() if q.time > begin]
                gaps = sorted((b - a for a, b in zip(arrivals, arrivals[1:])), reverse=True)[:3]
                print(f"  device {link.number}: {len(link.link.clients())} connection(s), {len(arrivals)} requests, "
                      f"longest stretches without a new request {', '.join(f'{g:.1f}' for g in gaps)} s")
        finally:
            field.close()
            faults.clear()


if __name__ == "__main__":
    main()
