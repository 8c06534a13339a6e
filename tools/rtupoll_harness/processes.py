"""Child processes that never outlive the process that started them."""

import ctypes
import signal
import subprocess
import threading
import time

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # Runs in the child between fork and exec: if the test (or bench) dies,
    # the kernel ends the child too, so nothing is left running.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


class Child:
    """A started program whose output lines are collected as they come.

    A reader thread drains stdout (stderr goes along with it), so the child
    never blocks on a full pipe; each line is kept with the wall-clock time
    it was read. With output (a file, subprocess.DEVNULL) the output goes
    there instead and no line is kept: a program measured for its CPU time
    then writes as it would without the harness.
    """

    def __init__(self, args, *, env=None, cwd=None, pass_fds=(), output=None):
        self.args = [str(a) for a in args]
        self.process = subprocess.Popen(
            self.args,
            env=env,
            cwd=cwd,
            pass_fds=pass_fds,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE if output is None else output,
            stderr=subprocess.STDOUT,
            text=True,
            errors="replace",
            preexec_fn=_die_with_parent,
        )
        self.pid = self.process.pid
        self._lines = []
        self._changed = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout or ():
            with self._changed:
                self._lines.append((time.time(), line.rstrip("\n")))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def lines(self):
        """[(time, line)] read so far."""
        with self._changed:
            return list(self._lines)

    def wait_for_lines(self, done, timeout):
        """Waits until done(lines) holds, the child ends or timeout passes.

        Returns the lines (texts only) read by then.
        """
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                texts = [text for _, text in self._lines]
                left = deadline - time.monotonic()
                if done(texts) or left <= 0 or not self._reader.is_alive():
                    return texts
                self._changed.wait(min(left, 0.5))

    def running(self):
        return self.process.poll() is None

    def stop(self, sig=signal.SIGTERM, timeout=10):
        """Sends sig, waits up to timeout (then kills); returns the exit status."""
        if self.process.poll() is None:
            try:
                self.process.send_signal(sig)
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
        status = self.process.wait()
        self._reader.join(5)
        # A process the child started may hold its output open after it
        # ends (Wine starts its server and session services from the first
        # program of a prefix): the reader then ends with them, and closing
        # the pipe under its read would block until then.
        if self.process.stdout and not self._reader.is_alive():
            self.process.stdout.close()
        return status


def run(args, **kwargs):
    """Runs a short command to its end; raises CalledProcessError on failure."""
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True, **kwargs)


def failure_text(error, lines=20):
    """What a failed run() tells: its command, its exit code or timeout, and
    the last lines of its output."""
    if isinstance(error, subprocess.TimeoutExpired):
        how = f"did not end within {error.timeout:g} s"
    else:
        how = f"exited with {error.returncode}"
    output = []
    for part in (error.stdout, error.stderr):
        if isinstance(part, bytes):
            part = part.decode(errors="replace")
        output += (part or "").splitlines()
    shown = "\n".join(f"    {line}" for line in output[-lines:]) or "    (no output)"
    return f"{' '.join(map(str, error.cmd))} {how}; its last lines:\n{shown}"
