"""A virtual X display (Xvfb) and an operator's clicks on the window (xdotool).

Only what the operator must do by hand needs it: a slot that was not saved
is connected by a click on its Connect button.
"""

import os
import time

from . import processes
from .processes import Child

# The window's layout, in twips: its client area, the top of each device
# frame (all at left 240) and the Connect button inside a frame.
_CLIENT_WIDTH_TWIPS = 14025
_FRAME_LEFT_TWIPS = 240
_FRAME_TOPS_TWIPS = (1080, 2640, 4320)
_CONNECT_BUTTON_TWIPS = (1800, 1080, 975, 375)  # left, top, width, height


class VirtualDisplay(Child):
    """Xvfb on a free display number, gone with the object's stop()."""

    def __init__(self):
        read_end, write_end = os.pipe()
        # -displayfd: Xvfb picks a free display and writes its number once it
        # accepts clients. Local clients only, no TCP.
        args = ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"]
        super().__init__(args, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            self.stop()
            raise RuntimeError(f"Xvfb did not start: {self.lines()}")
        self.name = f":{number}"

    def _xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.name)
        return processes.run(["xdotool", *args], env=env, timeout=30).stdout

    def window(self, caption, timeout=20):
        """The X window id of the top-level window with this caption."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                found = self._xdotool("search", "--name", f"^{caption}$").split()
            except processes.subprocess.CalledProcessError:
                found = []  # none yet
            if found:
                return found[0]
            time.sleep(0.2)
        raise RuntimeError(f"no window {caption!r} on {self.name}")

    def click_connect(self, window, slot):
        """Clicks the Connect button of device slot 0..2 in rtupoll's window."""
        geometry = dict(
            line.split("=", 1) for line in self._xdotool("getwindowgeometry", "--shell", window).split()
        )
        pixels_per_twip = int(geometry["WIDTH"]) / _CLIENT_WIDTH_TWIPS
        left, top, width, height = _CONNECT_BUTTON_TWIPS
        x = (_FRAME_LEFT_TWIPS + left + width / 2) * pixels_per_twip
        y = (_FRAME_TOPS_TWIPS[slot] + top + height / 2) * pixels_per_twip
        self._xdotool("mousemove", "--window", window, str(round(x)), str(round(y)), "click", "1")
