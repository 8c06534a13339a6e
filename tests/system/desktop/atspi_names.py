#!/usr/bin/python3
"""Lists the window's accessible tree over AT-SPI, as a screen reader sees
it, and checks that every input on screen has a name, and a name of its own.

Run inside a display and a D-Bus session of its own:
  xvfb-run -a dbus-run-session -- /usr/bin/python3 atspi_names.py PROGRAM

The program runs from a temporary folder of its own, with a setting.ini
that saves no slot and names 127.0.0.1 only, so it connects nowhere. Exits
0 when the check passes, 1 when it fails, and 77 (skipped) only when the
accessibility bus itself cannot be reached.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools"))
from rtupoll_harness.program import Read, Slot, settings_text  # noqa: E402

try:
    import pyatspi
except ImportError as error:
    pyatspi = None
    PYATSPI_MISSING = error

SKIPPED = 77
# Bounds: the bus's first answer, the window's appearance, the listing and
# the program's orderly close.
BUS_SECONDS = 20
WINDOW_SECONDS = 30
LISTING_SECONDS = 60
CLOSE_SECONDS = 20

INPUT_ROLES = {"text", "entry", "password text", "combo box", "push button", "check box", "radio button",
               "spin button", "slider", "table", "tree table", "progress bar"}


class OutOfTime(Exception):
    pass


def within(seconds, action):
    """Runs action, raising OutOfTime if it takes longer than seconds (a
    D-Bus call to an application that hangs would block for ever)."""

    def expire(_signum, _frame):
        raise OutOfTime()

    previous = signal.signal(signal.SIGALRM, expire)
    signal.alarm(seconds)
    try:
        return action()
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)


def setting_ini():
    # Nothing saved, so nothing connects; every host on loopback.
    slots = [Slot(50200 + i) for i in range(3)]
    return settings_text(slots, [Read(0, 1, 0)] * 5).encode("cp1252")


def find_application(pid):
    deadline = time.monotonic() + WINDOW_SECONDS
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for application in desktop:
            if application is not None and application.get_process_id() == pid and application.childCount > 0:
                return application
        time.sleep(0.2)
    return None


def walk(node, depth, found, lines):
    """Lists the tree into lines and collects every object on screen; the
    cells of a table are its content, not controls of their own."""
    states = node.getState()
    showing = states.contains(pyatspi.STATE_SHOWING)
    role = node.getRoleName()
    lines.append(f"{'  ' * depth}{role} {node.name!r}" + ("" if showing else " (hidden)"))
    if not showing:
        return
    found.append(node)
    if role in ("table", "tree table"):
        return
    for child in node:
        if child is not None:
            walk(child, depth + 1, found, lines)


def labels_of(node):
    """The names of the labels tied to node, not counting the frame it sits in."""
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() != pyatspi.RELATION_LABELLED_BY:
            continue
        for i in range(relation.getNTargets()):
            target = relation.getTarget(i)
            if target.getRoleName() == "label":
                names.append(target.name)
    return names


def announced_name(node):
    """What a screen reader says an input is. Qt names a combo box on Linux
    by its current entry, so there the label tied to it says what it is."""
    if node.getRoleName() == "combo box":
        return " ".join(labels_of(node))
    return node.name


def check(application):
    found, lines = [], []
    within(LISTING_SECONDS, lambda: walk(application, 0, found, lines))
    print("\n".join(lines))

    failures = []
    inputs = [node for node in found if node.getRoleName() in INPUT_ROLES]
    announced = {}
    for node in inputs:
        parent = node.parent
        name = announced_name(node)
        # An editable combo box's entry field is announced as the box itself.
        if parent.getRoleName() == "combo box" and name == announced_name(parent):
            continue
        print(f"{node.getRoleName()}: {name!r}")
        if not name.strip():
            failures.append(f"{node.getRoleName()} {node.name!r} without a name (in {parent.name!r})")
        elif name in announced:
            failures.append(f"{node.getRoleName()} {name!r}: the same name as another {announced[name]}")
        announced.setdefault(name, node.getRoleName())
    print(f"{len(announced)} inputs on screen, each with a name of its own" if not failures else "")

    # Each "IP Addres :" and "Port :" caption is tied to its box.
    for device in (1, 2, 3):
        for box, caption in ((f"Device {device} host", "IP Addres :"), (f"Device {device} port", "Port :")):
            if not any(node.name == box and caption in labels_of(node) for node in inputs):
                failures.append(f"{box!r} is not tied to a caption {caption!r}")
    return failures


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} PROGRAM")
    if pyatspi is None:
        print(f"SKIP: python3-pyatspi is missing: {PYATSPI_MISSING}")
        return SKIPPED
    try:
        within(BUS_SECONDS, lambda: pyatspi.Registry.getDesktop(0).childCount)
    except Exception as error:  # whatever keeps the bus from answering
        print(f"SKIP: the AT-SPI accessibility bus cannot be reached: {error!r}")
        return SKIPPED

    folder = tempfile.mkdtemp(prefix="rtupoll-atspi-")
    program = None
    try:
        shutil.copy(sys.argv[1], os.path.join(folder, "rtupoll"))
        with open(os.path.join(folder, "setting.ini"), "wb") as ini:
            ini.write(setting_ini())
        environment = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        program = subprocess.Popen([os.path.join(folder, "rtupoll")], cwd=folder, env=environment)
        application = within(WINDOW_SECONDS + 5, lambda: find_application(program.pid))
        if application is None:
            print(f"FAIL: the program's window did not appear on the accessibility bus in {WINDOW_SECONDS} s")
            return 1
        failures = check(application)
        for failure in failures:
            print("FAIL:", failure)
        program.send_signal(signal.SIGTERM)
        if program.wait(timeout=CLOSE_SECONDS) != 0:
            failures.append(f"the program ended with {program.returncode} on SIGTERM")
        return 1 if failures else 0
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
