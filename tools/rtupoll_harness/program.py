"""The built program in a program folder of its own.

rtupoll keeps setting.ini and data.csv next to itself, so every run gets a
temporary folder with a copy of the executable and a setting.ini written
before it starts: the program never sees its default host.
"""

import os
import shutil
import signal
import time
from dataclasses import dataclass

from . import build
from .processes import Child

LOOPBACK = "127.0.0.1"


@dataclass
class Slot:
    """A device slot: host, port, and whether it was connected at the last close."""

    port: int = 502
    host: str = LOOPBACK
    saved: bool = False


@dataclass
class Read:
    """A read definition: device slot (-1 none), first register (from 1),
    count; first_text: the first register as the operator typed it, when it
    is not first's plain digits ("1,0" under a decimal comma)."""

    slot: int
    first: int = 1
    count: int = 1
    first_text: str = None


def settings_text(slots, reads=None):
    """setting.ini's text: section [set], 24 keys, CR LF, 8-bit text.

    reads None leaves the read definitions' keys out: the reads are then
    those of a fresh set-up, no registers from the first device.
    """
    if len(slots) != 3 or reads is not None and len(reads) != 5:
        raise ValueError("three slots and five reads")
    lines = ["[set]"]
    # "False" marks a slot that was in use at the last close.
    lines += [f"Scon{i}={'False' if s.saved else 'True'}" for i, s in enumerate(slots)]
    lines += [f"port{i}={s.port}" for i, s in enumerate(slots)]
    lines += [f"txtIP{i}={s.host}" for i, s in enumerate(slots)]
    reads = reads or []
    lines += [f"strreg{i}={r.first_text or r.first}" for i, r in enumerate(reads)]
    lines += [f"legreg{i}={r.count}" for i, r in enumerate(reads)]
    lines += [f"LstIP{i}={r.slot}" for i, r in enumerate(reads)]
    return "\r\n".join(lines) + "\r\n"


class ProgramFolder:
    """A folder holding a copy of rtupoll and its setting.ini."""

    def __init__(self, parent, name="program", executable=None, keep=False):
        """executable: another build of rtupoll, for a before-and-after;
        keep: the folder may exist already (the demo's keeps its data.csv)."""
        self.path = parent / name
        self.path.mkdir(parents=keep, exist_ok=keep)
        shutil.copy2(executable or build.program(), self.path / "rtupoll")
        self.child = None

    def write_settings(self, slots, reads=None):
        (self.path / "setting.ini").write_bytes(settings_text(slots, reads).encode("cp1252"))

    def start(self, display=None, *, env=None, launcher=()):
        """Starts the program: offscreen, or on an X display (for clicks).

        env: variables added to the program's environment; launcher: the
        command that runs it, as in [launcher..., rtupoll], one that becomes
        the program in the same process (exec, valgrind).
        """
        self.require_settings()
        environment = dict(os.environ)
        if display:
            environment["DISPLAY"] = display
            environment.pop("QT_QPA_PLATFORM", None)
        else:
            environment.pop("DISPLAY", None)
            environment["QT_QPA_PLATFORM"] = "offscreen"
        environment.update(env or {})
        # From its own working folder, which is not the program folder.
        self.child = Child([*launcher, self.path / "rtupoll"], env=environment, cwd=self.path.parent)
        return self.child

    def require_settings(self):
        if not (self.path / "setting.ini").exists():
            raise RuntimeError("write setting.ini first: without it the program uses its default host")

    @property
    def pid(self):
        return self.child.pid

    def stop(self, timeout=20):
        """SIGTERM, as a desktop session ends it; returns (status, seconds taken)."""
        began = time.monotonic()
        status = self.child.stop(signal.SIGTERM, timeout)
        return status, time.monotonic() - began

    def data_fields(self):
        """(write time, fields) of data.csv, or None before its first write.

        The fields are those after the leading comma: caption and value of
        each read's first register, ten in all. The write time is the file's
        modification time, which its replacement sets.
        """
        path = self.path / "data.csv"
        try:
            before = path.stat().st_mtime
            text = path.read_bytes().decode("cp1252")
            after = path.stat().st_mtime
        except FileNotFoundError:
            return None
        if before != after:
            return None  # replaced while being read: take the next one
        return after, text.rstrip("\r\n").split(",")[1:]

    def open_files(self):
        return len(os.listdir(f"/proc/{self.pid}/fd"))

    def threads(self):
        return len(os.listdir(f"/proc/{self.pid}/task"))

    def resident_kib(self):
        with open(f"/proc/{self.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise RuntimeError("no VmRSS")


def main(argv=None):
    """Prints a setting.ini for a program folder, for scripts that are not
    written in Python: python3 -m rtupoll_harness.program --ports P P P ..."""
    import argparse
    import sys

    parser = argparse.ArgumentParser(prog="python3 -m rtupoll_harness.program", description=main.__doc__)
    parser.add_argument("--ports", type=int, nargs=3, required=True, help="the three slots' ports, on 127.0.0.1")
    parser.add_argument("--saved", type=int, nargs="*", default=[], help="slots connected at the last close")
    parser.add_argument("--read", type=int, nargs=3, action="append", metavar=("SLOT", "FIRST", "COUNT"),
                        default=[], help="a read definition (up to five; the rest read register 1 of slot 0)")
    args = parser.parse_args(argv)
    slots = [Slot(port, saved=i in args.saved) for i, port in enumerate(args.ports)]
    reads = [Read(*r) for r in args.read] + [Read(0)] * (5 - len(args.read))
    sys.stdout.buffer.write(settings_text(slots, reads).encode("cp1252"))


if __name__ == "__main__":
    main()
