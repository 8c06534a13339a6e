"""Device slots named by host names whose resolver answers late or never.
The connect waits end on time, the other devices keep being polled on
time, a late answer still connects its device, lookups never pile up over
the reloads, and the program still ends in order."""

import time
import unittest

from linkfault import LinkFaultCase, enter_namespace
from rtupoll_harness import namespace
from rtupoll_harness.fake_resolver import FakeResolver
from rtupoll_harness.program import Read

NEVER = "plc-north.field"  # the resolver never answers for it
LATE = "plc-south.field"  # answered after 3 s, later than a connect waits
WINDOW = 30  # seconds watched
# The system's resolver defaults: 5 s a try, 2 tries, so a lookup that gets
# no answer lasts 10 s, longer than the 2 s connect wait and than a reload.
LOOKUP_SECONDS = 10


def setUpModule():
    enter_namespace(private_mounts=True)
    namespace.use_resolver_config("nameserver 127.0.0.1\n")


class NameResolution(LinkFaultCase):
    def test_unanswered_and_late_names_hold_up_nothing(self):
        resolver = FakeResolver({LATE: "127.0.0.1"}, delay=3)
        self.addCleanup(resolver.close)
        a, b, c = self.field.devices(3)  # a is never reached
        reads = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(2, 1, 2)]
        slots = [(a, True, NEVER), (b, True, LATE), (c, True)]
        program = self.field.start(slots, reads)
        self.wait_polled([c])

        begin = time.time()
        most_threads = 0
        while time.time() < begin + WINDOW:
            most_threads = max(most_threads, program.threads())
            time.sleep(0.5)

        # The window's thread never stalled: device C kept its pace.
        arrivals = [q.time for q in c.requests() if q.time > begin]
        self.assertLess(max(later - earlier for earlier, later in zip(arrivals, arrivals[1:])), 1.25)
        # A late answer still connects its slot; an unanswered name shows ???.
        self.assertIsNotNone(self.field.first_fresh(b, begin, 0), "the late-resolved device was never polled")
        self.assertTrue(all(s.values[0] == s.values[3] == "???" for s in self.field.watch.samples(begin)))
        # One lookup of the unanswered name at a time, however often the
        # reload sequence retries it; one resolver thread per name at most.
        starts = resolver.lookups(NEVER)
        self.assertGreaterEqual(len(starts), 2)
        self.assertGreaterEqual(min(b - a for a, b in zip(starts, starts[1:])), LOOKUP_SECONDS - 0.5)
        self.assertLessEqual(most_threads, program_threads_without_lookups() + 2)
        self.assertNoBadValues(since=begin)

        status, took = program.stop()
        self.assertEqual(status, 0)
        # The program ends as soon as its window has closed; it does not wait
        # for the lookup under way (that took up to LOOKUP_SECONDS).
        self.assertLess(took, LOOKUP_SECONDS / 2, "the end waited for a host-name lookup")


def program_threads_without_lookups():
    # The main thread and Qt's own: measured on an idle window.
    return 3


if __name__ == "__main__":
    unittest.main()
