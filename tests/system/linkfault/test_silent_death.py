"""A device whose link dies silently: no FIN, no RST, its packets dropped
both ways, as when it loses power or its cable. Its slot shows "???"
within the goal; a saved slot is back within the goal of the path's
return, without a burst of old requests; a slot the operator connected by
hand (not saved) shows "???" and stays down."""

import time
import unittest

from linkfault import FRESH_WITHIN, UNKNOWN_WITHIN, LinkFaultCase, enter_namespace
from rtupoll_harness import namespace
from rtupoll_harness.outage import silent_outage
from rtupoll_harness.program import Read
from rtupoll_harness.xdisplay import VirtualDisplay

# Each outage outlasts the goal, so that the links are down for certain
# when the path returns; then the program gets the goal and a margin.
OUTAGE = UNKNOWN_WITHIN + 1
SETTLE = FRESH_WITHIN + 2


def setUpModule():
    enter_namespace(tools=("nft", "ip", "Xvfb", "xdotool"))
    # The return is measured as on Debian 12's kernel, whose handshakes back off.
    namespace.handshakes_back_off_at_once()


class SilentDeath(LinkFaultCase):
    def test_saved_slot_comes_back_and_a_hand_connected_slot_shows_unknown(self):
        a, b, c = self.field.devices(3)
        display = VirtualDisplay()
        self.addCleanup(display.stop)
        reads = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(2, 1, 2)]
        self.field.start([(a, True), (b, True), (c, False)], reads, display=display.name)
        window = display.window("Form1")
        self.wait_polled([a, b])
        display.click_connect(window, 2)  # device C, by the operator
        self.wait_polled([c])

        used = []
        for victims in ([a, c], [a]):
            seen = silent_outage(self.field, self.faults, victims, OUTAGE, SETTLE)
            for recovery in seen:
                with self.subTest(device=recovery.device):
                    self.assertWithin(recovery.closed_after, UNKNOWN_WITHIN, "the dead link counted as connected")
                    self.assertWithin(recovery.unknown_after, UNKNOWN_WITHIN, "no ??? in time")
            saved = seen[0]
            self.assertWithin(saved.fresh_after, FRESH_WITHIN, "the saved slot did not come back in time")
            self.assertLessEqual(saved.burst, 3, "queued requests reached the device in a burst")
            if c in victims:
                self.assertIsNone(seen[1].requested_after, "a slot that was not saved was reconnected")
                self.assertEqual(c.program_ends(), [])
                self.assertIsNotNone(self.field.first_unknown(c, time.time(), 3), "C no longer shows ???")
            used.append(self.resources_while_connected(a))

        self.assertNoBadValues()
        self.assertNoGrowth(*used)


if __name__ == "__main__":
    unittest.main()
