#!/usr/bin/env python3
"""rtupoll polling three simulated devices on loopback ports.

The program runs from build/demo/, where it keeps its setting.ini and
data.csv; a fresh setting.ini names the devices' ports at every start.
Closing the window ends the demo. Run through ./run-demo.sh, which installs
and builds first.
"""

import argparse
import os
import pathlib
import signal
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from rtupoll_harness import build, processes  # noqa: E402
from rtupoll_harness.program import ProgramFolder, Read, Slot  # noqa: E402
from rtupoll_harness.proxy import LinkProxy  # noqa: E402
from rtupoll_harness.simulator import Simulator  # noqa: E402
from rtupoll_harness.xdisplay import VirtualDisplay  # noqa: E402

# A day: the demo runs until its window closes.
LIFETIME = 86400
# Registers count from 1 in the window, so first register 1 is address 0:
# counter, sine, sawtooth and fixed values of A, B and C, then A from its
# sine on and B from its sawtooth on.
READS = [Read(0, 1, 10), Read(1, 1, 10), Read(2, 1, 10), Read(0, 2, 5), Read(1, 3, 5)]


def arguments():
    parser = argparse.ArgumentParser(prog="run-demo.sh", description=__doc__.split("\n\n")[0])
    parser.add_argument("--screenshot", metavar="FILE", type=pathlib.Path,
                        help="run on a virtual display, save a screenshot of the window, stop")
    parser.add_argument("--after", metavar="SECONDS", type=float, default=12,
                        help="take the screenshot this long after the start (default 12)")
    parser.add_argument("--flaky", action="store_true",
                        help="a poor field: device A behind a slow link (300 ms round trip), "
                        "device B closing its connections every 5 s")
    return parser.parse_args()


def start_devices(folder, flaky):
    """The running servers and the three ports the program dials."""
    if not flaky:
        devices = Simulator(folder, "rtu-sim", devices=3, seconds=LIFETIME)
        print(f"Simulated devices on 127.0.0.1 ports {' '.join(map(str, devices.ports))}")
        return [devices], devices.ports
    # Each device on a simulator of its own, numbered as in the plain demo.
    a = Simulator(folder, "rtu-sim.a", first_device=0, seconds=LIFETIME)
    slow = LinkProxy(a.ports[0], rtt_ms=300, seconds=LIFETIME)
    b = Simulator(folder, "rtu-sim.b", first_device=1, seconds=LIFETIME, extra=["--close-after", 5])
    c = Simulator(folder, "rtu-sim.c", first_device=2, seconds=LIFETIME)
    print(f"Device A behind a 300 ms link on port {slow.port} (device on {a.ports[0]}); "
          "device B closes its connections every 5 s")
    return [a, slow, b, c], [slow.port, b.ports[0], c.ports[0]]


def main():
    args = arguments()
    demo = build.folder() / "demo"
    servers, ports = start_devices(demo.parent, args.flaky)
    program = ProgramFolder(demo.parent, demo.name, keep=True)
    program.write_settings([Slot(port, saved=True) for port in ports], READS)

    display = None
    if args.screenshot or not os.environ.get("DISPLAY"):
        display = VirtualDisplay()
        servers.append(display)
    program.start(display.name if display else os.environ["DISPLAY"])
    # A signal closes the window in order (it saves setting.ini), as a
    # desktop session ends it; the demo then ends with it.
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda *_: program.child.process.send_signal(signal.SIGTERM))
    if args.screenshot:
        print(f"rtupoll runs on {display.name}; screenshot in {args.after:g} s")
        time.sleep(args.after)
        # The window alone, by its caption, rather than the whole virtual screen.
        processes.run(["import", "-window", "Form1", args.screenshot], env=dict(os.environ, DISPLAY=display.name))
        print(f"Screenshot saved to {args.screenshot}")
        program.stop()
    elif display:
        print(f"No display ($DISPLAY is not set): rtupoll runs on the virtual display {display.name}.")
        print("Take a screenshot from another shell with:")
        print(f"  DISPLAY={display.name} import -window root shot.png")
        print("Press Ctrl-C to end the demo.")
    else:
        print(f"rtupoll runs from {demo}; close its window to end the demo.")
    program.child.process.wait()
    for server in reversed(servers):
        server.stop()


if __name__ == "__main__":
    main()
