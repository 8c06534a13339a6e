"""A device that closes every connection 3 s after accepting it. Each close
shows as "???" and the saved slot is reconnected within the goal, again and
again, without the program's open files or memory growing."""

import time
import unittest

from linkfault import FRESH_WITHIN, LinkFaultCase, enter_namespace
from rtupoll_harness.program import Read

WINDOW = 30  # seconds watched


def setUpModule():
    enter_namespace()


class ClosingDevice(LinkFaultCase):
    def test_every_close_shows_unknown_and_is_reconnected_without_growth(self):
        (a,) = self.field.devices(1, behaviour=["--close-after", "3"])
        b, c = self.field.devices(2, first_device=1)
        reads = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(1, 1, 2)]
        self.field.start([(a, True), (b, True), (c, True)], reads)
        self.wait_polled([a, b, c])

        begin = time.time()
        time.sleep(WINDOW / 4)
        before = self.resources_while_connected(a)
        time.sleep(WINDOW * 3 / 4)
        after = self.resources_while_connected(a)

        arrivals = [q.time for q in a.requests() if q.time > begin]
        gaps = [later - earlier for earlier, later in zip(arrivals, arrivals[1:])]
        drops = sum(1 for gap in gaps if gap > 1.5)
        self.assertGreaterEqual(drops, WINDOW // 8, "the device did not close its connections")
        self.assertLessEqual(max(gaps), FRESH_WITHIN, "a close was not followed by a reconnect in time")
        unknown = [s for s in self.field.watch.samples(begin) if s.values[0] == s.values[3] == "???"]
        self.assertGreaterEqual(len(unknown), drops // 2, "the closes did not show as ???")
        self.assertNoBadValues(since=begin)
        self.assertNoGrowth(before, after)


if __name__ == "__main__":
    unittest.main()
