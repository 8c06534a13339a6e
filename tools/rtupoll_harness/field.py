"""A program with its devices and links, started in one folder, stopped together."""

import time
from dataclasses import dataclass

from . import observe, tcp_table
from .observe import DataWatch, Source
from .program import LOOPBACK, ProgramFolder, Slot
from .proxy import LinkProxy
from .simulator import Simulator


@dataclass
class Device:
    """A simulated device as a slot sees it: the port the device serves on,
    and the port the program dials (a slow link's, or the same)."""

    simulator: Simulator
    port: int
    dial: int
    link: LinkProxy = None

    @property
    def number(self):
        return self.simulator.device_number(self.port)

    def requests(self):
        return self.simulator.requests(self.port)

    def program_ends(self, state=None):
        """The program's ends of its connections to this device."""
        return tcp_table.client_ends(self.dial, state)

    def connected(self):
        return bool(self.program_ends(tcp_table.ESTABLISHED))


class Field:
    """Devices, slow links and one program under test, in `folder`."""

    def __init__(self, folder, lifetime=600):
        self.folder = folder
        folder.mkdir(parents=True, exist_ok=True)
        self.lifetime = lifetime  # seconds every server and link lives at most
        self._children = []
        self._simulators = 0
        self.program = None
        self.watch = None
        self.slots = []
        self.reads = []

    def devices(self, count, *, first_device=0, behaviour=()):
        """count devices on one rtu-sim, with its options in behaviour."""
        self._simulators += 1
        simulator = Simulator(
            self.folder,
            f"devices{self._simulators}",
            devices=count,
            first_device=first_device,
            seconds=self.lifetime,
            extra=behaviour,
        )
        self._children.append(simulator)
        return [Device(simulator, port, port) for port in simulator.ports]

    def behind_link(self, device, rtt_ms):
        """The device as reached through a slow link of rtt_ms round trip."""
        link = LinkProxy(device.port, rtt_ms, seconds=self.lifetime)
        self._children.append(link)
        return Device(device.simulator, device.port, link.port, link)

    def start(self, slots, reads, *, display=None, executable=None, program=None):
        """Starts the program with three slots and five reads; data.csv is
        watched from then on.

        slots: (Device or None, saved) or (Device, saved, host name), the
        device reached by name on its dial port; reads: [Read]; program: a
        program folder to run instead of a new one in the field's folder
        (such as the Windows program under Wine).
        """
        self.slots = [(entry[0], entry[1]) for entry in slots]
        self.reads = list(reads)
        self.program = program or ProgramFolder(self.folder, executable=executable)
        self.program.write_settings([self._slot(*entry) for entry in slots], self.reads)
        self.program.start(display)
        self._children.append(self.program.child)
        self.watch = DataWatch(self.program)
        return self.program

    @staticmethod
    def _slot(device, saved, host=None):
        if device is None:
            return Slot(saved=saved)
        return Slot(device.dial, host or LOOPBACK, saved)

    def device_of(self, read_index):
        slot = self.reads[read_index].slot
        return self.slots[slot][0] if slot >= 0 else None

    def sources(self, read_indices=range(5)):
        """{read index: Source} with the arrivals logged so far."""
        found = {}
        for r in read_indices:
            device = self.device_of(r)
            if device is None:
                continue
            read = self.reads[r]
            arrivals = [q.time for q in device.requests() if q.address == read.first - 1 and q.count == read.count]
            found[r] = Source(device.number, device.simulator.started, arrivals)
        return found

    def reads_of(self, device):
        return [r for r in range(len(self.reads)) if self.device_of(r) is device]

    def bad_values(self, since=0.0, until=float("inf"), max_age=3.5):
        """Every wrong or stale value data.csv showed: [(read, written, value, verdict)]."""
        sources = self.sources()
        bad = []
        for sample in self.watch.samples(since, until):
            for r, source in sources.items():
                verdict = observe.judge(sample.values[r], sample.written, source, max_age)
                if verdict in (observe.Verdict.WRONG, observe.Verdict.STALE):
                    bad.append((r, round(sample.written, 3), sample.values[r], verdict))
        return bad

    def first_unknown(self, device, since, timeout):
        """When data.csv first showed "???" for all of device's reads after since."""
        reads = self.reads_of(device)
        sample = self.watch.wait_for(lambda s: all(s.values[r] == observe.UNKNOWN for r in reads), timeout, since)
        return sample.written if sample else None

    def first_fresh(self, device, since, timeout, every_read=True):
        """When data.csv first showed values that the device took after
        since, in all of its reads (or in one of them)."""
        reads = self.reads_of(device)
        source = Source(device.number, device.simulator.started)
        quantifier = all if every_read else any
        sample = self.watch.wait_for(
            lambda s: quantifier(observe.taken_after(s.values[r], source, since) for r in reads), timeout, since
        )
        return sample.written if sample else None

    def wait_connected(self, device, timeout=20):
        deadline = time.monotonic() + timeout
        while not device.connected():
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.1)
        return True

    def close(self):
        if self.watch:
            self.watch.stop()
        for child in reversed(self._children):
            child.stop()
