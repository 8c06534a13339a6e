"""A device that serves a single client at a time and resets any other, and
whose link dies silently: it still holds the dead connection when the path
returns. The program is back within the goal all the same, without being
turned away: it reconnects from the local port of the dead connection, so
the device's stale connection is reset rather than a new one refused."""

import unittest

from linkfault import FRESH_WITHIN, UNKNOWN_WITHIN, LinkFaultCase, enter_namespace
from rtupoll_harness import tcp_table
from rtupoll_harness import namespace
from rtupoll_harness.outage import silent_outage
from rtupoll_harness.program import Read


def setUpModule():
    enter_namespace()
    # The return is measured as on Debian 12's kernel, whose handshakes back off.
    namespace.handshakes_back_off_at_once()


class SingleClient(LinkFaultCase):
    def test_back_after_a_silent_death_without_being_turned_away(self):
        (a,) = self.field.devices(1, behaviour=["--single-client"])
        (b,) = self.field.devices(1, first_device=1)
        reads = [Read(0, 1, 3), Read(1, 1, 3), Read(0, 1, 2), Read(1, 1, 2), Read(0, 1, 1)]
        self.field.start([(a, True), (b, True), (None, False)], reads)
        self.wait_polled([a, b])
        (old_end,) = a.program_ends(tcp_table.ESTABLISHED)

        (seen,) = silent_outage(self.field, self.faults, [a], UNKNOWN_WITHIN + 1, FRESH_WITHIN + 2)
        self.assertWithin(seen.closed_after, UNKNOWN_WITHIN, "the dead link counted as connected")
        self.assertWithin(seen.fresh_after, FRESH_WITHIN, "the single-client device did not come back in time")
        self.assertEqual(a.simulator.turned_away(), [], "the device turned the program away")
        self.assertEqual([e.local_port for e in a.program_ends(tcp_table.ESTABLISHED)], [old_end.local_port])
        self.assertNoBadValues()


if __name__ == "__main__":
    unittest.main()
