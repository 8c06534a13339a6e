"""A private network namespace (and, for resolver tests, mount namespace).

The calling process moves into namespaces of its own; everything it starts
afterwards lives there too. The new network namespace holds nothing but a
loopback interface, so whatever runs inside can reach no address outside
it, the program's default host included.
"""

import ctypes
import os
import tempfile

from . import processes

_CLONE_NEWNS = 0x00020000
_CLONE_NEWNET = 0x40000000
_libc = ctypes.CDLL(None, use_errno=True)


class NamespaceUnavailable(Exception):
    """The kernel or the sandbox does not let this process unshare."""


def enter_private_network(*, private_mounts=False):
    """Moves this process into a new network namespace with lo up.

    Call it before starting any thread. With private_mounts it also gets a
    mount namespace whose mounts do not propagate back, for bind-mounting
    files such as /etc/resolv.conf. Raises NamespaceUnavailable with the
    reason where namespaces are not permitted (not root, a container that
    forbids them).
    """
    flags = _CLONE_NEWNET | (_CLONE_NEWNS if private_mounts else 0)
    if _libc.unshare(flags) != 0:
        err = ctypes.get_errno()
        raise NamespaceUnavailable(f"network namespaces are not permitted here: {os.strerror(err)}")
    try:
        if private_mounts:
            processes.run(["mount", "--make-rprivate", "/"])
        processes.run(["ip", "link", "set", "lo", "up"])
    except (OSError, processes.subprocess.CalledProcessError) as e:
        raise NamespaceUnavailable(f"network namespaces are not permitted here: {e}") from e


def use_resolver_config(text):
    """Bind-mounts a resolv.conf with text over /etc/resolv.conf.

    Only inside enter_private_network(private_mounts=True): the mount ends
    with the namespace and nobody else sees it.
    """
    handle, path = tempfile.mkstemp(prefix="rtupoll-resolv.", suffix=".conf")
    with os.fdopen(handle, "w") as f:
        f.write(text)
    os.chmod(path, 0o644)
    processes.run(["mount", "--bind", path, "/etc/resolv.conf"])
    os.unlink(path)  # the mount keeps the file alive


def handshakes_back_off_at_once():
    """Makes the namespace's TCP retry an unanswered handshake after 1, 2,
    4 s..., as kernels before Linux 6.5 (Debian 12's) do, rather than every
    second for its first tries. Nothing to do on such kernels."""
    setting = "/proc/sys/net/ipv4/tcp_syn_linear_timeouts"
    if os.path.exists(setting):
        with open(setting, "w") as f:
            f.write("0\n")


CONGESTION_CONTROL = "/proc/sys/net/ipv4/tcp_congestion_control"


def use_congestion_control(name):
    """Sets the namespace's TCP congestion control (reno, cubic, bbr: those
    the machine allows). Linux paces a thin stream's retransmissions evenly
    only under one that sets a slow-start threshold on loss, such as cubic
    (Debian's default) or reno; a namespace may start with BBR."""
    with open(CONGESTION_CONTROL, "w") as f:
        f.write(f"{name}\n")


def congestion_control():
    with open(CONGESTION_CONTROL) as f:
        return f.read().strip()
