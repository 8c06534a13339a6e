"""What every link-fault test shares: its own network namespace, a work
folder, a Field that is stopped with the test, and the goals."""

import pathlib
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tools"))

from rtupoll_harness import namespace  # noqa: E402
from rtupoll_harness.field import Field  # noqa: E402
from rtupoll_harness.link_faults import LinkFaults  # noqa: E402

# ctest reads this line as "skipped" (SKIP_REGULAR_EXPRESSION).
SKIP_MARK = "link-fault tests skipped:"

# The goals: "???" within 15 s of a silent death, fresh values within 5 s
# of the path's return.
UNKNOWN_WITHIN = 15.0
FRESH_WITHIN = 5.0


def enter_namespace(*, tools=("nft", "ip"), private_mounts=False):
    """For setUpModule: this test process moves into a network namespace of
    its own (loopback only), or the module is skipped with the reason."""
    missing = [tool for tool in tools if shutil.which(tool) is None]
    reason = f"missing {', '.join(missing)} (scripts/setup.sh installs them)" if missing else None
    if not reason:
        try:
            namespace.enter_private_network(private_mounts=private_mounts)
        except namespace.NamespaceUnavailable as e:
            reason = str(e)
    if reason:
        print(f"{SKIP_MARK} {reason}", file=sys.stderr, flush=True)
        raise unittest.SkipTest(reason)


def work_folder(test):
    """A temporary folder that goes with the test."""
    work = tempfile.TemporaryDirectory(prefix="rtupoll-linkfault.")
    test.addCleanup(work.cleanup)
    return pathlib.Path(work.name)


class LinkFaultCase(unittest.TestCase):
    def setUp(self):
        self.field = Field(work_folder(self))
        self.addCleanup(self.field.close)
        self.faults = LinkFaults()
        self.addCleanup(self.faults.clear)

    def wait_polled(self, devices, timeout=30):
        """Waits until data.csv shows a fresh value of every device given."""
        since = time.time()
        for device in devices:
            found = self.field.first_fresh(device, since, timeout, every_read=False)
            self.assertIsNotNone(found, f"device {device.number} never polled")

    def assertWithin(self, seconds, limit, message):
        """seconds (None when it never happened) is at most limit."""
        self.assertIsNotNone(seconds, f"{message}: never")
        self.assertLessEqual(seconds, limit, message)

    def assertNoBadValues(self, since=0.0, until=float("inf"), max_age=3.5):
        bad = self.field.bad_values(since, until, max_age)
        shown = "\n".join(f"  read {r} at {written:.3f}: {value!r} is {verdict}" for r, written, value, verdict in bad)
        if bad:
            self.fail(f"{len(bad)} wrong or stale values in data.csv:\n{shown}")

    def resources(self):
        """The program's open files and resident memory (KiB), now."""
        program = self.field.program
        return program.open_files(), program.resident_kib()

    def resources_while_connected(self, device):
        """resources() at a moment the program's link to device is up, so
        that samples taken between drops count the same sockets."""
        self.assertTrue(self.field.wait_connected(device), f"device {device.number} not connected")
        return self.resources()

    def assertNoGrowth(self, before, after):
        """resources() taken after repeated drops has not grown since before:
        not one file more, less than 1 MiB of memory (pages come and go)."""
        (files_before, resident_before), (files_after, resident_after) = before, after
        self.assertLessEqual(files_after, files_before, "open files grew over the drops")
        self.assertLess(resident_after - resident_before, 1024, "memory grew over the drops (KiB)")

