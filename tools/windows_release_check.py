#!/usr/bin/env python3
"""The Windows release proven under Wine, on a virtual display, inside a
network namespace with loopback only: the portable ZIP polls three
simulated devices, closing its window saves the set-up, the installer
installs for the user, upgrades and uninstalls while the program runs,
closing it as its close button does, the core's Windows check passes, a
silently dead link shows "???", a device that closes its connections is
connected again, a second start from a running poller's folder ends at
once, and a reader holding data.csv does not stop polling or keep the file
stale once it lets go. Prints what it measured.

Run by scripts/windows-release.sh after it has built the ZIP, the installer
and rtu-sim; needs root (network namespaces, nftables).
"""

import argparse
import hashlib
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from rtupoll_harness import namespace, observe, processes  # noqa: E402
from rtupoll_harness.field import Field  # noqa: E402
from rtupoll_harness.link_faults import LinkFaults  # noqa: E402
from rtupoll_harness.program import Read  # noqa: E402
from rtupoll_harness.wine import WinePrefix, WineProgramFolder  # noqa: E402
from rtupoll_harness.xdisplay import VirtualDisplay  # noqa: E402

# Every server and program of the check lives at most this long.
LIFETIME = 1800
# The Wine desktop, drawn as Windows draws one, with room for the window.
DESKTOP = (1024, 768)
# Wine's first start of a program (its DLLs, the desktop, Qt's plugins) is
# slow; the first values come well within this.
FIRST_VALUES_WITHIN = 60
# A silent death shows "???" within 15 s; a saved slot is back within 5 s of
# its link's return (on Linux; under Wine see the dead-link step).
UNKNOWN_WITHIN = 15
OUTAGE = 30
RETURN_WATCH = 40
RETURN_WITHIN = 5
# How long a device that closes every connection after CLOSE_AFTER seconds
# is watched.
CLOSING_WATCH = 20
CLOSE_AFTER = 3
# A first register typed as "1,0": a number where the user's decimal
# separator is a comma, as in the prefix's regional settings here, so its
# caption "1>>" shows; anywhere else it is no number and shows none.
DECIMAL_COMMA_FIRST = "1,0"
SETTING_KEYS = 24


class CheckFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CheckFailed(message)


class Report:
    """The figures, printed as they come and once more at the end."""

    def __init__(self):
        self.lines = []

    def __call__(self, text):
        print(f"  {text}", flush=True)
        self.lines.append(text)


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--zip", type=pathlib.Path, required=True)
    parser.add_argument("--setup", type=pathlib.Path, required=True)
    parser.add_argument("--screenshot", type=pathlib.Path, required=True, help="where the window's picture goes")
    parser.add_argument("--core-check", nargs="+", required=True, metavar="COMMAND",
                        help="the Windows check of the core and its tests (scripts/windows-check.sh)")
    return parser.parse_args()


# The step under way, which a failure names.
current_step = "the start"


def step(title):
    global current_step
    current_step = title
    print(f"== {title}", flush=True)


def unpack(archive, into):
    with zipfile.ZipFile(archive) as zipped:
        zipped.extractall(into)
        top = {pathlib.PurePosixPath(name).parts[0] for name in zipped.namelist()}
    check(len(top) == 1, f"the ZIP holds {sorted(top)}, not one folder")
    return into / top.pop()


def wait_all_fresh(field, devices, since, timeout):
    """When data.csv first showed, for every device, values it took after since."""
    deadline = time.monotonic() + timeout
    latest = since
    for device in devices:
        seen = field.first_fresh(device, since, max(0.0, deadline - time.monotonic()))
        if seen is None:
            child = field.program.child
            said = [text for _, text in child.lines()][-5:]
            state = "runs" if child.running() else f"ended with {child.process.returncode}"
            check(False, f"device {device.number} sent no values within {timeout} s; the program {state}"
                  + "".join(f"\n  {line}" for line in said))
        latest = max(latest, seen)
    return latest


def fields_of(program):
    """data.csv's caption and value of each read's first register, in pairs."""
    written = program.data_fields()
    check(written is not None, "no data.csv")
    fields = written[1]
    return list(zip(fields[0::2], fields[1::2]))


def setting_lines(folder):
    raw = (folder / "setting.ini").read_bytes()
    check(b"\n" not in raw.replace(b"\r\n", b""), "setting.ini has a line end other than CR LF")
    return raw.decode("cp1252").split("\r\n")


def check_saved(folder, since_inode, slots):
    """setting.ini was written anew, with CR LF, 24 keys and these saved slots."""
    path = folder / "setting.ini"
    check(path.stat().st_ino != since_inode, "setting.ini was not written")
    lines = setting_lines(folder)
    keys = dict(line.split("=", 1) for line in lines if "=" in line)
    check(len(keys) == SETTING_KEYS, f"setting.ini has {len(keys)} keys, not {SETTING_KEYS}")
    for i in slots:
        check(keys.get(f"Scon{i}") == "False", f"slot {i} is not saved as connected: {keys.get(f'Scon{i}')}")


def poll_and_close(prefix, folder, field, devices, reads, report, *, label, screenshot=None, display=None,
                   end_session=False):
    """Starts the program in folder with the devices saved, waits for every
    device's values, and closes it (its window's close, or the end of the
    Windows session); setting.ini must then be saved."""
    program = WineProgramFolder(prefix, folder)
    launched_ns = time.monotonic_ns()
    launched = time.time()
    field.start([(device, True) for device in devices], reads, program=program)
    fresh = wait_all_fresh(field, devices, launched, FIRST_VALUES_WITHIN)
    first_request = min(q.arrival_ns for d in devices for q in d.requests() if q.time >= launched)
    report(f"{label}: launch to first request {(first_request - launched_ns) / 1e9:.2f} s, "
           f"to all devices' values in data.csv {fresh - launched:.2f} s")
    check(not field.bad_values(since=fresh), f"wrong or stale values: {field.bad_values(since=fresh)}")
    if screenshot:
        # A cycle more, so that the window shows what data.csv shows.
        time.sleep(2)
        take_screenshot(display, screenshot)
    inode = (folder / "setting.ini").stat().st_ino
    if end_session:
        began = time.monotonic()
        # The end of the session as Windows ends it: WM_QUERYENDSESSION and
        # WM_ENDSESSION to every window, then whatever still runs is ended.
        prefix.wine("wineboot", "--end-session", "--shutdown", timeout=60)
        status = program.child.process.wait(30)
        seconds = time.monotonic() - began
        how = "the end of the Windows session"
    else:
        status, seconds = program.close()
        how = "WM_CLOSE (taskkill without /F)"
    check(status is not None, f"{how} did not end the program")
    check_saved(folder, inode, range(len(devices)))
    report(f"{label}: {how} ended it in {seconds:.2f} s; setting.ini saved with CR LF and the saved slots")
    field.watch.stop()
    return program


def take_screenshot(display, path):
    """The window as it stands on the Wine desktop, frame and title bar
    included: the desktop's picture, cut to what is not desktop."""
    width, height = DESKTOP
    path.parent.mkdir(parents=True, exist_ok=True)
    processes.run(["import", "-display", display.name, "-window", "root", "-crop", f"{width}x{height}+0+0",
                   "+repage", path])
    # The window opens at the top left; the far corner is desktop.
    desktop = processes.run(["convert", path, "-format", f"%[pixel:p{{{width - 1},{height - 1}}}]", "info:"]).stdout
    processes.run(["convert", path, "-bordercolor", desktop, "-border", "1", "-trim", "+repage", path])


def the_zip_polls(prefix, args, work, devices, report, display):
    step("The ZIP polls the devices, and closing its window saves the set-up")
    folder = unpack(args.zip, work / "portable")
    report(f"ZIP: {args.zip.name}, {args.zip.stat().st_size / 1e6:.1f} MB, "
           f"{sum(1 for p in folder.rglob('*') if p.is_file())} files")
    field = Field(work / "zip-run", LIFETIME)
    reads = [Read(0, 1, 10), Read(1, 1, 10), Read(2, 1, 10), Read(0, 1, 5, DECIMAL_COMMA_FIRST), Read(1, 1, 5)]
    program = poll_and_close(prefix, folder, field, devices, reads, report, label="ZIP",
                             screenshot=args.screenshot, display=display)
    caption = fields_of(program)[3][0]
    check(caption == "1>>", f"first register {DECIMAL_COMMA_FIRST!r} has the caption {caption!r}, not '1>>'")
    report("the user's decimal separator, a comma in the regional settings: "
           f"first register {DECIMAL_COMMA_FIRST!r} taken for register 1")
    report(f"screenshot of the window: {args.screenshot}")
    poll_and_close(prefix, folder, Field(work / "session-run", LIFETIME), devices, reads, report,
                   label="ZIP again", end_session=True)
    return folder


UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\rtupoll"


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def the_installer_works(prefix, args, work, devices, report):
    step("The installer installs for the user, and its program polls")
    report(f"installer: {args.setup.name}, {args.setup.stat().st_size / 1e6:.1f} MB")
    began = time.monotonic()
    prefix.wine(prefix.windows_path(args.setup), "/S", timeout=300)
    installed = prefix.user_folder("AppData", "Local", "Programs", "rtupoll")
    shortcut = prefix.user_folder("AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                                  "rtupoll.lnk")
    check((installed / "rtupoll.exe").is_file(), f"nothing installed in {installed}")
    check(shortcut.is_file(), "no Start menu entry")
    check(prefix.query_registry(UNINSTALL_KEY, "UninstallString"), "not listed in Apps and Features")
    size = int(prefix.query_registry(UNINSTALL_KEY, "EstimatedSize"), 16)
    report(f"silent install into %LOCALAPPDATA%\\Programs\\rtupoll in {time.monotonic() - began:.1f} s, "
           f"with its Start menu entry and uninstaller; EstimatedSize {size} KiB")

    reads = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(1, 1, 2)]
    poll_and_close(prefix, installed, Field(work / "installed-run", LIFETIME), devices, reads, report,
                   label="installed")
    return installed, shortcut, reads


def an_upgrade_closes_the_running_program(prefix, args, work, devices, installed, reads, report):
    step("A silent upgrade while an older rtupoll polls from the install folder closes it, and starts the new one")
    # An older build runs: the same program with a few bytes more, which
    # Windows does not read, and an older version in Apps and Features.
    exe = installed / "rtupoll.exe"
    new_hash = sha256(exe)
    exe.write_bytes(exe.read_bytes() + b"an older build")
    old_hash = sha256(exe)
    prefix.set_registry(UNINSTALL_KEY, "DisplayVersion", "0.0.1")
    # The lock the last run may have left; the running program makes its own.
    (installed / "rtupoll.lock").unlink(missing_ok=True)
    field = Field(work / "upgrade-run", LIFETIME)
    program = WineProgramFolder(prefix, installed)
    launched = time.time()
    field.start([(device, True) for device in devices], reads, program=program)
    wait_all_fresh(field, devices, launched, FIRST_VALUES_WITHIN)
    check((installed / "rtupoll.lock").is_file(), "the running rtupoll holds no rtupoll.lock")
    inode = (installed / "setting.ini").stat().st_ino
    began = time.monotonic()
    status = prefix.run_to_end(prefix.windows_path(args.setup), "/S", log=work / "upgrade.log")
    ended = time.time()
    check(status == 0, f"the upgrade while rtupoll runs exited with {status}")
    try:
        program.child.process.wait(10)
    except subprocess.TimeoutExpired:
        raise CheckFailed("the upgrade left the older rtupoll running") from None
    check_saved(installed, inode, range(len(devices)))
    check(sha256(exe) == new_hash, f"the upgrade left rtupoll.exe {sha256(exe)[:16]}")
    version = args.setup.name.split("-")[1]
    check(prefix.query_registry(UNINSTALL_KEY, "DisplayVersion") == version, "DisplayVersion is not the new one")
    fresh = wait_all_fresh(field, devices, ended, FIRST_VALUES_WITHIN)
    report(f"silent upgrade while rtupoll runs: exit {status} in {time.monotonic() - began:.1f} s; it closed "
           f"rtupoll, which saved setting.ini; DisplayVersion 0.0.1 became {version}; rtupoll.exe {old_hash} "
           f"became {new_hash}; the new rtupoll, started again, polls {fresh - ended:.1f} s later")
    return field


def the_uninstaller_closes_the_running_program(prefix, work, devices, installed, shortcut, field, report):
    step("A silent uninstall while rtupoll polls closes it and keeps only setting.ini and data.csv")
    exe = installed / "rtupoll.exe"
    check((installed / "rtupoll.lock").is_file(), "the running rtupoll holds no rtupoll.lock")
    inode = (installed / "setting.ini").stat().st_ino
    began = time.monotonic()
    status = prefix.run_to_end(prefix.windows_path(installed / "uninstall.exe"), "/S", log=work / "uninstall.log")
    # The uninstaller runs on from a copy of itself in the temporary folder,
    # after the one started has ended; the last thing it does is to take its
    # entry out of Apps and Features. Files and the Start menu entry go
    # before, so they are looked at only once that entry is gone.
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline and prefix.query_registry(UNINSTALL_KEY, "UninstallString") is not None:
        time.sleep(0.5)
    left = sorted(p.name for p in installed.iterdir()) if installed.exists() else []
    check(not exe.exists(), "rtupoll.exe is still there after the uninstall")
    check(left == ["data.csv", "setting.ini"], f"after the uninstall the folder holds {left}")
    check_saved(installed, inode, range(len(devices)))
    check(not shortcut.exists(), "the Start menu entry is still there")
    check(prefix.query_registry(UNINSTALL_KEY, "UninstallString") is None, "still listed in Apps and Features")
    report(f"silent uninstall while rtupoll runs: exit {status}, done in {time.monotonic() - began:.1f} s; it "
           "closed rtupoll (setting.ini saved); setting.ini and data.csv kept, nothing else")
    field.close()


def the_core_check_passes(args, report):
    step("The core and its tests for Windows, the INI differential test among them, under Wine")
    began = time.monotonic()
    result = subprocess.run(args.core_check, check=False)
    check(result.returncode == 0, f"{' '.join(args.core_check)} failed ({result.returncode})")
    report(f"the Windows check of the core passed in {time.monotonic() - began:.0f} s")


def a_dead_link_shows_unknown(prefix, folder, work, devices, report):
    step('A silently dead link shows "???"')
    a, b, c = devices
    field = Field(work / "dead-link-run", LIFETIME)
    # A polled by three reads, B by two; C connected and idle, so that only
    # keepalive can find its death.
    reads = [Read(0, 1, 3), Read(1, 1, 3), Read(0, 1, 2), Read(1, 1, 2), Read(0, 1, 1)]
    program = WineProgramFolder(prefix, folder)
    launched = time.time()
    field.start([(a, True), (b, True), (c, True)], reads, program=program)
    wait_all_fresh(field, [a, b], launched, FIRST_VALUES_WITHIN)
    check(field.wait_connected(c), "the idle device was not connected")

    faults = LinkFaults()
    cut = time.time()
    faults.cut(a.dial)
    faults.cut(c.dial)
    unknown = field.first_unknown(a, cut, UNKNOWN_WITHIN)
    check(unknown is not None, f'no "???" within {UNKNOWN_WITHIN} s of the death')
    closed = {}
    while time.time() < cut + OUTAGE:
        for device in (a, c):
            if device.number not in closed and not device.connected():
                closed[device.number] = time.time() - cut
        time.sleep(0.1)
    back = time.time()
    faults.clear()
    report(f'polled device, dead: "???" in all its reads after {unknown - cut:.1f} s; '
           + (f"its link closed after {closed[a.number]:.1f} s" if a.number in closed
              else f"its link still open after {OUTAGE} s"))
    report("idle device, dead: "
           + (f"its link closed after {closed[c.number]:.1f} s" if c.number in closed
              else f"its link still open after {OUTAGE} s"))
    fresh = field.first_fresh(a, back, RETURN_WATCH)
    report("polled device, back: " + (f"fresh values {fresh - back:.1f} s after the link's return" if fresh
                                      else f"no fresh values within {RETURN_WATCH} s of the link's return"))
    check(not field.bad_values(since=cut), f"wrong or stale values: {field.bad_values(since=cut)}")
    program.close()
    field.watch.stop()


def a_closing_device_comes_back(prefix, folder, work, report):
    step(f"A device that takes one client at a time and closes each connection is back within {RETURN_WITHIN} s")
    field = Field(work / "closing-run", LIFETIME)
    (a,) = field.devices(1, behaviour=["--single-client", "--close-after", CLOSE_AFTER])
    b, c = field.devices(2, first_device=1)
    reads = [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(1, 1, 2)]
    program = WineProgramFolder(prefix, folder)
    launched = time.time()
    field.start([(a, True), (b, True), (c, True)], reads, program=program)
    try:
        wait_all_fresh(field, [a, b, c], launched, FIRST_VALUES_WITHIN)
        begin = time.time()
        time.sleep(CLOSING_WATCH)
        arrivals = [q.time for q in a.requests() if q.time > begin]
        gaps = [later - earlier for earlier, later in zip(arrivals, arrivals[1:])]
        # Requests come a second apart while the link stands.
        drops = sum(1 for gap in gaps if gap > 1.5)
        check(drops >= CLOSING_WATCH // (CLOSE_AFTER + RETURN_WITHIN), f"only {drops} closes in {CLOSING_WATCH} s")
        check(max(gaps) <= RETURN_WITHIN, f"a close was followed by {max(gaps):.1f} s without a request")
        check(not field.bad_values(since=begin), f"wrong or stale values: {field.bad_values(since=begin)}")
        report(f"a single-client device closing every connection after {CLOSE_AFTER} s: {drops} closes in "
               f"{CLOSING_WATCH} s, the next request at most {max(gaps):.1f} s after the last before each")
    finally:
        program.close()
        field.close()


# A second start from a running poller's folder ends within this long
# (Wine's own start of a program is most of it).
SECOND_START_WITHIN = 10
# A reader holds data.csv open, without letting it be deleted, this long;
# data.csv is written again within FRESH_AFTER_RELEASE of its letting go.
HOLD_SECONDS = 3
FRESH_AFTER_RELEASE = 1.0
# The reader: opens data.csv as many Windows programs do (share read and
# write, not delete), says so, holds it, closes it and says so.
HOLDER_SOURCE = r"""
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  Sleep((DWORD)_wtoi(argv[2]) * 1000);
  CloseHandle(file);
  printf("released\n");
  fflush(stdout);
  return 0;
}
"""


def start_polling(prefix, folder, field, devices):
    """rtupoll.exe from folder with the devices saved, once all their values are in data.csv."""
    program = WineProgramFolder(prefix, folder)
    launched = time.time()
    field.start([(device, True) for device in devices],
                [Read(0, 1, 3), Read(1, 1, 3), Read(2, 1, 3), Read(0, 1, 2), Read(1, 1, 2)], program=program)
    wait_all_fresh(field, devices, launched, FIRST_VALUES_WITHIN)
    return program


def a_second_start_is_refused(prefix, folder, work, devices, report):
    step("A second start from the folder of a running poller ends at once and writes nothing")
    field = Field(work / "second-start-run", LIFETIME)
    program = start_polling(prefix, folder, field, devices)
    try:
        check((folder / "rtupoll.lock").is_file(), "no rtupoll.lock in the folder of the running program")
        settings = folder / "setting.ini"
        before = (settings.read_bytes(), settings.stat().st_mtime_ns)
        began = time.monotonic()
        second = subprocess.run(["wine", prefix.windows_path(folder / "rtupoll.exe")], env=prefix.env,
                                capture_output=True, text=True, timeout=60, check=False)
        seconds = time.monotonic() - began
        told = [line for line in second.stderr.splitlines() if line.startswith("rtupoll: ")]
        check(second.returncode == 0, f"the second start ended with {second.returncode}")
        check(seconds < SECOND_START_WITHIN, f"the second start took {seconds:.1f} s")
        check(len(told) == 1 and "already running from" in told[0], f"the second start said {told}")
        check((settings.read_bytes(), settings.stat().st_mtime_ns) == before, "the second start wrote setting.ini")
        check(program.child.running(), "the first run ended")
        check(not field.bad_values(since=time.time() - 3), "the first run stopped polling")
        report(f"second start from the same folder: exit {second.returncode} in {seconds:.2f} s, "
               f"stderr {told[0]!r}; setting.ini untouched, the first run polls on")
    finally:
        program.close()
        field.close()


def data_inode(path):
    try:
        return path.stat().st_ino
    except FileNotFoundError:
        return None


def a_held_data_file_is_written_once_let_go(prefix, folder, work, devices, report):
    step(f"A reader that holds data.csv for {HOLD_SECONDS} s without delete sharing: "
         f"polling goes on, data.csv is fresh within {FRESH_AFTER_RELEASE} s of its letting go")
    source = work / "holder.c"
    source.write_text(HOLDER_SOURCE)
    holder = work / "holder.exe"
    processes.run(["x86_64-w64-mingw32-gcc", "-municode", "-O2", "-o", holder, source])
    field = Field(work / "held-run", LIFETIME)
    program = start_polling(prefix, folder, field, devices)
    data = folder / "data.csv"
    try:
        reader = subprocess.Popen(["wine", prefix.windows_path(holder), prefix.windows_path(data), str(HOLD_SECONDS)],
                                  env=prefix.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        check(reader.stdout.readline().strip() == "held", "the reader could not open data.csv")
        held = time.time()
        held_inode = data.stat().st_ino
        check(reader.stdout.readline().strip() == "released", "the reader did not let go")
        released = time.time()
        reader.wait(30)
        check(data.stat().st_ino == held_inode, "data.csv was replaced while the reader held it")
        polled = min(sum(1 for q in d.requests() if held <= q.time <= released) for d in devices)
        check(polled >= HOLD_SECONDS - 1, f"a device was asked only {polled} times while data.csv was held")
        # Wine's ReplaceFileW moves the old file aside first: for a moment
        # there is no data.csv at all.
        while data_inode(data) in (held_inode, None) and time.time() - released < 5:
            time.sleep(0.01)
        fresh = time.time() - released
        check(fresh <= FRESH_AFTER_RELEASE, f"data.csv was written again {fresh:.2f} s after the reader let go")
        report(f"a reader held data.csv {released - held:.1f} s without delete sharing: data.csv stayed whole, "
               f"every device was asked at least {polled} times meanwhile, data.csv was written "
               f"{fresh:.2f} s after the reader let go")
    finally:
        program.close()
        field.close()


def main():
    args = arguments()
    # A timeout's SIGTERM ends the check in order: its Wine prefix, servers
    # and display go too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    for path in (args.zip, args.setup):
        check(path.is_file(), f"{path} is missing")
    args.zip, args.setup, args.screenshot = (p.resolve() for p in (args.zip, args.setup, args.screenshot))
    namespace.enter_private_network()
    work = pathlib.Path(tempfile.mkdtemp(prefix="rtupoll-windows-release-"))
    report = Report()
    started = time.monotonic()
    display = prefix = devices_field = None
    try:
        display = VirtualDisplay()
        step("Wine: a prefix of its own, on a virtual display, in a network namespace with loopback only")
        prefix = WinePrefix(work / "wine", display.name, desktop="x".join(map(str, DESKTOP)))
        report(f"Wine prefix made in {prefix.boot_seconds:.1f} s")
        # The Windows regional settings: numbers with a decimal comma.
        prefix.set_registry(r"HKCU\Control Panel\International", "sDecimal", ",")
        devices_field = Field(work / "devices", LIFETIME)
        devices = devices_field.devices(3)

        folder = the_zip_polls(prefix, args, work, devices, report, display)
        installed, shortcut, reads = the_installer_works(prefix, args, work, devices, report)
        field = an_upgrade_closes_the_running_program(prefix, args, work, devices, installed, reads, report)
        the_uninstaller_closes_the_running_program(prefix, work, devices, installed, shortcut, field, report)
        the_core_check_passes(args, report)
        a_dead_link_shows_unknown(prefix, folder, work, devices, report)
        a_closing_device_comes_back(prefix, folder, work, report)
        a_second_start_is_refused(prefix, folder, work, devices, report)
        a_held_data_file_is_written_once_let_go(prefix, folder, work, devices, report)
    finally:
        if devices_field:
            devices_field.close()
        if prefix:
            prefix.end()
        if display:
            display.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"== The Windows release holds ({time.monotonic() - started:.0f} s)")
    for line in report.lines:
        print(f"  {line}")


if __name__ == "__main__":
    try:
        main()
    except CheckFailed as failure:
        sys.exit(f"FAILED in the step \"{current_step}\": {failure}")
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
        # A Windows program (Wine's own among them) failed: where, and what it said.
        traceback.print_exc()
        sys.exit(f"FAILED in the step \"{current_step}\": {processes.failure_text(failure)}")
