"""rtu-sim, the simulated field devices, as a child process."""

import re
import time
from dataclasses import dataclass

from . import build
from .processes import Child

_PORT_LINE = re.compile(r"^(\w+) on 127\.0\.0\.1:(\d+)$")


@dataclass
class Request:
    """One line of the request log: when it arrived (wall clock) and what it asked."""

    time: float
    port: int
    transaction_id: int
    function: int
    address: int
    count: int
    arrival_ns: int  # CLOCK_MONOTONIC, as time.monotonic_ns() and bench-launch's stamp


class Simulator(Child):
    """rtu-sim serving one device per port (free ports by default).

    first_device numbers its devices from there, so that register 0 of the
    i-th port counts 1000 * (first_device + i) + seconds since start.
    Each request is written to its --log file as it arrives. refusing and
    hanging hold that many ports more, where a device is down: connects
    refused, or left hanging in the handshake.
    """

    def __init__(self, folder, name, *, devices=1, first_device=0, seconds=600, extra=(), refusing=0, hanging=0):
        self.log_path = folder / f"{name}.requests"
        self.first_device = first_device
        args = [build.tool("rtu-sim"), "--seconds", seconds, "--first-device", first_device]
        args += ["--log", self.log_path, *extra]
        args += ["--port", 0] * devices + ["--refusing"] * refusing + ["--hanging"] * hanging
        launched = time.time()
        super().__init__(args)
        wanted = {"listening": devices, "refusing": refusing, "hanging": hanging}

        def announced(lines):
            return {kind: ports_in("\n".join(lines), kind) for kind in wanted}

        ports = announced(self.wait_for_lines(lambda ls: all(len(p) >= wanted[k] for k, p in announced(ls).items()), 10))
        # The devices' clock starts just before the first line: register 0
        # counts whole seconds from about here.
        self.started = launched
        self.ports, self.refusing_ports, self.hanging_ports = ports.values()
        if any(len(p) < wanted[k] for k, p in ports.items()):
            self.stop()
            raise RuntimeError(f"rtu-sim did not start: {self.lines()}")

    def device_number(self, port):
        return self.first_device + self.ports.index(port)

    def requests(self, port=None):
        """The requests logged so far, to port if given, oldest first."""
        offset = time.time() - time.monotonic()
        found = []
        with open(self.log_path) as log:
            for line in log:
                fields = line.split()
                if len(fields) != 6 or (port is not None and int(fields[1]) != port):
                    continue
                ns, at_port, tid, function, address, count = map(int, fields)
                found.append(Request(ns / 1e9 + offset, at_port, tid, function, address, count, ns))
        return found

    def turned_away(self):
        """Times at which --single-client reset a second client."""
        return [t for t, text in self.lines() if text.startswith("turned away a client")]


def ports_in(text, kind="listening"):
    """The ports of the "KIND on 127.0.0.1:PORT" lines rtu-sim printed."""
    return [int(m.group(2)) for m in map(_PORT_LINE.match, text.splitlines()) if m and m.group(1) == kind]


def main(argv=None):
    """Prints the ports rtu-sim announced in its output, one a line, for
    scripts that are not written in Python:
    python3 -m rtupoll_harness.simulator LOG"""
    import sys

    args = sys.argv[1:] if argv is None else argv
    if len(args) != 1:
        sys.exit(main.__doc__)
    with open(args[0]) as log:
        for port in ports_in(log.read()):
            print(port)


if __name__ == "__main__":
    main()
