"""A device whose link dies silently: no FIN, no RST, its packets dropped
both ways, as when it loses power or its cable. Its slot shows "???"
within the goal; a saved slot is back within the goal of the path's
return, without a burst of old requests; a slot the operator connected by
hand (not saved) shows "???" and stays down."""

import time
import unittest

from linkfault import FRESH_WITHIN, UNKNOWN_WITHIN, LinkFaultCase, burst, enter_namespace
from rtupoll_harness.program import Read
from rtupoll_harness.xdisplay import VirtualDisplay

# How long each outage lasts: past the goal, so that the link is down for
# certain when the path returns.
OUTAGE = UNKNOWN_WITHIN + 1


def setUpModule():
    enter_namespace(tools=("nft", "ip", "Xvfb", "xdotool"))


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
            cut = self.cut(*victims)
            for device in victims:
                unknown = self.field.first_unknown(device, cut, UNKNOWN_WITHIN + 2)
                self.assertIsNotNone(unknown, f"device {device.number}: no ??? after its link died")
                self.assertLessEqual(unknown - cut, UNKNOWN_WITHIN, f"device {device.number}")
            deadline = cut + UNKNOWN_WITHIN
            while any(device.connected() for device in victims) and time.time() < deadline:
                time.sleep(0.1)
            self.assertEqual([d.number for d in victims if d.connected()], [], "links still up")
            time.sleep(max(0.0, cut + OUTAGE - time.time()))

            back = self.restore(*victims)
            fresh = self.field.first_fresh(a, back, FRESH_WITHIN + 2)
            self.assertIsNotNone(fresh, "saved device A never came back")
            self.assertLessEqual(fresh - back, FRESH_WITHIN)
            # The dead link took its queued requests with it.
            self.assertLessEqual(burst([q.time for q in a.requests() if q.time > back]), 3)
            used.append(self.resources())

            if c in victims:
                time.sleep(max(0.0, back + FRESH_WITHIN + 1 - time.time()))
                self.assertEqual(c.program_ends(), [], "a slot that was not saved was reconnected")
                self.assertEqual([q for q in c.requests() if q.time > back], [])
                self.assertIsNotNone(self.field.first_unknown(c, time.time(), 3), "C no longer shows ???")

        self.assertNoBadValues()
        (files_before, resident_before), (files_after, resident_after) = used
        self.assertLessEqual(files_after, files_before, "file descriptors grew over the drops")
        self.assertLess(resident_after - resident_before, 1024, "memory grew over the drops (KiB)")


if __name__ == "__main__":
    unittest.main()
