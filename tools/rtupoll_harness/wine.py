"""Windows programs under Wine, in a Wine prefix of their own.

Nothing of a user's ~/.wine is used or changed, and no menu entries or file
types go into the home folder (winemenubuilder is off). wineserver keeps
its socket in a folder under TMPDIR, hence a TMPDIR of the prefix's own:
programs of another prefix never meet this one's server. Wine makes a
program's sockets in wineserver, so inside a private network namespace the
prefix must be created there, before its server starts.
"""

import os
import pathlib
import shutil
import sys
import time

from . import processes
from .processes import Child
from .program import ProgramFolder


class WinePrefix:
    """A new Wine prefix in folder/prefix, ended with end()."""

    def __init__(self, folder, display=None, desktop=None):
        """display: the X display its windows go to (none: no windows);
        desktop: "WIDTHxHEIGHT" for a Wine desktop of that size on it,
        drawn as Windows draws one, window frames included."""
        self.folder = pathlib.Path(folder)
        (self.folder / "prefix").mkdir(parents=True)
        (self.folder / "tmp").mkdir()
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=str(self.folder / "prefix"),
            TMPDIR=str(self.folder / "tmp"),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
        )
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)
        if display:
            self.env["DISPLAY"] = display
        began = time.monotonic()
        self.boot_tries = self._boot()
        self.boot_seconds = time.monotonic() - began
        if desktop:
            self.set_registry(r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
            self.set_registry(r"HKCU\Software\Wine\Explorer\Desktops", "Default", desktop)

    def _boot(self):
        """Boots the new prefix and returns how many tries it took. A fresh
        prefix's first boot fails now and then (exit 53: Wine could not load
        its own DLLs); that boot alone is tried once more, in a fresh prefix,
        and the log says so. Wine's errors are kept for that log."""
        for tries in (1, 2):
            try:
                processes.run(["wine", "wineboot", "--init"], env=dict(self.env, WINEDEBUG="fixme-all"), timeout=300)
                return tries
            except (processes.subprocess.CalledProcessError, processes.subprocess.TimeoutExpired) as failure:
                print(f"Wine's first boot of the new prefix failed: {processes.failure_text(failure)}",
                      file=sys.stderr, flush=True)
                if tries == 2:
                    self._end_server()
                    raise
            print("Trying once more, in a fresh prefix.", file=sys.stderr, flush=True)
            self._end_server()
            shutil.rmtree(self.folder / "prefix")
            (self.folder / "prefix").mkdir()

    def wine(self, *args, timeout=60):
        """Runs a Windows program to its end; returns its CompletedProcess."""
        return processes.run(["wine", *args], env=self.env, timeout=timeout)

    def run_to_end(self, *args, log, timeout=120):
        """Runs a Windows program to its end, its output into the file log;
        returns its exit code. A program it starts in turn (an installer
        starting rtupoll again) writes there too, never holding a pipe of
        ours open."""
        with open(log, "w") as output:
            child = Child(["wine", *args], env=self.env, output=output)
        return child.process.wait(timeout)

    def start(self, *args, cwd=None):
        """Starts a Windows program; the Child is the program itself."""
        return Child(["wine", *args], env=self.env, cwd=cwd)

    def set_registry(self, key, name, value):
        self.wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def query_registry(self, key, name):
        """The value's text, or None where the key or the value is missing."""
        try:
            found = self.wine("reg", "query", key, "/v", name).stdout
        except processes.subprocess.CalledProcessError:
            return None
        for line in found.splitlines():
            fields = line.split(None, 2)
            if len(fields) == 3 and fields[0] == name:
                return fields[2].strip()
        return None

    def windows_path(self, path):
        """A path of this machine as Windows programs in the prefix see it:
        on drive C: inside the prefix (where an installer puts the program,
        and whence it is started), else on Z:."""
        path = pathlib.Path(path).resolve()
        drive_c = (self.folder / "prefix" / "drive_c").resolve()
        if path.is_relative_to(drive_c):
            return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
        return "Z:" + str(path).replace("/", "\\")

    def user_folder(self, *parts):
        """A folder of the Windows user's profile, such as AppData/Local."""
        users = self.folder / "prefix" / "drive_c" / "users"
        return users.joinpath(os.environ.get("USER") or pathlib.Path.home().name, *parts)

    def _end_server(self):
        """Ends every program of the prefix and its server."""
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            try:
                processes.run(args, env=self.env, timeout=30)
            except (processes.subprocess.SubprocessError, OSError):
                pass  # no server was running

    def end(self):
        """Ends every program of the prefix and its server, then removes it."""
        self._end_server()
        shutil.rmtree(self.folder, ignore_errors=True)


class WineProgramFolder(ProgramFolder):
    """rtupoll.exe in a folder of its own (an unpacked ZIP, an installation),
    run under Wine; data.csv and setting.ini are read as for the Linux
    program."""

    def __init__(self, prefix, path):
        # The folder exists already: nothing to copy.
        self.prefix = prefix
        self.path = pathlib.Path(path)
        self.child = None

    def start(self, display=None, *, env=None, launcher=()):
        """Starts rtupoll.exe on the prefix's display, in its environment;
        the arguments of the Linux program's start do not apply."""
        self.require_settings()
        self.child = self.prefix.start(self.prefix.windows_path(self.path / "rtupoll.exe"), cwd=self.path.parent)
        return self.child

    def close(self, timeout=30):
        """Closes the window as its close button does: taskkill without /F
        posts WM_CLOSE to it. Returns (exit status, seconds taken), or
        (None, seconds) if it was still running at the timeout and had to be
        ended."""
        began = time.monotonic()
        self.prefix.wine("taskkill", "/IM", "rtupoll.exe")
        try:
            status = self.child.process.wait(timeout)
        except processes.subprocess.TimeoutExpired:
            status = None
        self.child.stop()
        return status, time.monotonic() - began

    def stop(self, timeout=30):
        return self.close(timeout)
