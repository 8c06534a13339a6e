"""link_proxy.py, the slow field link, as a child process."""

import re
import sys

from . import build
from .processes import Child

_LINE = re.compile(r"^proxying 127\.0\.0\.1:(\d+) to 127\.0\.0\.1:(\d+)$")


class LinkProxy(Child):
    """Forwards a free loopback port to the device's port, adding rtt_ms."""

    def __init__(self, target_port, rtt_ms, seconds=600):
        script = build.script("link_proxy.py")
        super().__init__([sys.executable, script, "--target", target_port, "--rtt-ms", rtt_ms, "--seconds", seconds])
        lines = self.wait_for_lines(lambda ls: any(map(_LINE.match, ls)), 10)
        found = [m for m in map(_LINE.match, lines) if m]
        if not found:
            self.stop()
            raise RuntimeError(f"link_proxy.py did not start: {lines}")
        self.port = int(found[0].group(1))

    def clients(self):
        """Times at which the proxy accepted a connection."""
        return [t for t, text in self.lines() if text.startswith("accepted a client")]
