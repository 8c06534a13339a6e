"""A silent outage of some devices' links, and what it took to see and end it."""

import time
from dataclasses import dataclass

# Requests counted together as a burst: well under the 10 ms steps of a
# cycle times the five reads, and far under the second between cycles.
BURST_WINDOW = 0.3


@dataclass
class Recovery:
    """One device's outage, in seconds; None where it never happened."""

    device: int
    closed_after: float  # death to the program's link to it gone
    unknown_after: float  # death to "???" in all its reads in data.csv
    requested_after: float  # return to the first request reaching it
    fresh_after: float  # return to data.csv showing values it took after the return
    burst: int  # the most requests reaching it within BURST_WINDOW after the return


def silent_outage(field, faults, devices, seconds, settle):
    """Drops every packet of the devices' links for `seconds`, then lets
    them through and watches for `settle` seconds; returns a Recovery per
    device, in order."""
    cut = time.time()
    for device in devices:
        faults.cut(device.dial)
    closed = {}
    while time.time() < cut + seconds:
        for device in devices:
            if id(device) not in closed and not device.connected():
                closed[id(device)] = time.time() - cut
        time.sleep(0.1)
    back = time.time()
    for device in devices:
        faults.restore(device.dial)
    time.sleep(settle)
    return [_recovery(field, device, cut, back, closed.get(id(device))) for device in devices]


def _recovery(field, device, cut, back, closed_after):
    unknown = field.first_unknown(device, cut, 0)
    fresh = field.first_fresh(device, back, 0)
    arrivals = [q.time for q in device.requests() if q.time > back]
    return Recovery(
        device=device.number,
        closed_after=closed_after,
        unknown_after=unknown - cut if unknown else None,
        requested_after=arrivals[0] - back if arrivals else None,
        fresh_after=fresh - back if fresh else None,
        burst=most_within(arrivals, BURST_WINDOW),
    )


def most_within(times, window):
    """The most of the times that fall within any window seconds."""
    times = sorted(times)
    return max((sum(1 for u in times[i:] if u - t < window) for i, t in enumerate(times)), default=0)
