"""What an operator and a program reading data.csv see, judged.

rtu-sim's register 0 counts 1000 * d + whole seconds since its start, for
device d. A read whose first register is 1 (address 0) therefore shows in
data.csv which device answered and, to the second, when: a value can be
told right, wrong (another device's, or from the future) and how old it
can at least be when data.csv was written.
"""

import bisect
import threading
import time
from dataclasses import dataclass, field

UNKNOWN = "???"

# The simulator's clock starts a few milliseconds after its launch, which
# is what the harness knows; what the log and the data file say is
# compared with this much slack.
CLOCK_SLACK = 0.05


@dataclass
class Sample:
    written: float  # wall-clock time data.csv was replaced
    values: list  # the value of each read's first register, five texts


@dataclass
class Source:
    """Where a read's values come from: device d of a simulator started at
    `started`, and when each of this read's requests reached the device."""

    device: int
    started: float
    arrivals: list = field(default_factory=list)  # wall-clock times, ascending

    def taken_from(self, value):
        """The earliest time the device can have taken this value."""
        return self.started + int(value) - 1000 * self.device


class Verdict:
    UNKNOWN = "unknown"
    FRESH = "fresh"
    STALE = "stale"
    WRONG = "wrong"


def judge(value, written, source, max_age):
    """Verdict on one value of data.csv written at `written`.

    Unknown: "???" or nothing. Wrong: not a counter of this device, or taken after the file was
    written. Stale, for certain:
      - its youngest possible age exceeds max_age, or
      - it is older than the read's last request but one that reached the
        device before the write. A value shown must answer the read's
        latest request, or the one before while the latest is still under
        way; anything older is a value kept past its cycle.
    """
    if value in (UNKNOWN, ""):  # "???", or a cell not filled yet
        return Verdict.UNKNOWN
    if not value.isdigit():
        return Verdict.WRONG
    seconds = int(value) - 1000 * source.device
    taken_earliest = source.taken_from(value)
    if not 0 <= seconds < 1000 or taken_earliest > written + CLOCK_SLACK:
        return Verdict.WRONG
    taken_latest = taken_earliest + 1
    if written - taken_latest > max_age:
        return Verdict.STALE
    before = bisect.bisect_left(source.arrivals, written)
    if before >= 2 and taken_latest + CLOCK_SLACK < source.arrivals[before - 2]:
        return Verdict.STALE
    return Verdict.FRESH


def taken_after(value, source, when):
    """Whether the device took the value after `when`, for certain."""
    return value.isdigit() and source.taken_from(value) >= when - CLOCK_SLACK


class DataWatch:
    """Samples a program folder's data.csv every 50 ms, one Sample per write."""

    def __init__(self, folder):
        self._folder = folder
        self._samples = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        last = None
        while not self._stop.wait(0.05):
            read = self._folder.data_fields()
            if read is None or read[0] == last:
                continue
            last, fields = read
            with self._lock:
                self._samples.append(Sample(last, fields[1::2]))

    def stop(self):
        self._stop.set()
        self._thread.join()

    def samples(self, since=0.0, until=float("inf")):
        with self._lock:
            return [s for s in self._samples if since <= s.written <= until]

    def wait_for(self, done, timeout, since=0.0):
        """The first sample written after since for which done(sample)
        holds, waiting up to timeout for it; None if none came."""
        deadline = time.monotonic() + timeout
        while True:
            for sample in self.samples(since):
                if done(sample):
                    return sample
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.1)
