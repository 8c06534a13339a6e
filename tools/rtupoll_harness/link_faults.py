"""Breaking loopback links for real with nftables, inside a namespace.

Every packet between the program and a device passes the input hook of lo
once, so a rule there on the device's port hits both directions. Dropping
on input (not output) keeps the sender unaware: its stack sends as usual
and nothing ever comes back, as on a cut cable.
"""

import threading

from . import processes

_TABLE = "inet rtupoll_linkfault"


class LinkFaults:
    """The faults of the namespace's loopback links, by TCP port. One per
    namespace: it replaces the whole rule set on every change. Safe to use
    from several threads."""

    def __init__(self):
        self._cut = set()
        self._loss = {}  # port -> percent of packets dropped, each way
        self._lock = threading.Lock()

    def cut(self, port):
        """Drops every packet to and from port, from now on."""
        with self._lock:
            self._cut.add(port)
            self._apply()

    def restore(self, port):
        """Lets port's packets through again (loss set with lose() stays)."""
        with self._lock:
            self._cut.discard(port)
            self._apply()

    def lose(self, port, percent):
        """Drops percent % of the packets to and from port, at random."""
        with self._lock:
            if percent:
                self._loss[port] = percent
            else:
                self._loss.pop(port, None)
            self._apply()

    def clear(self):
        with self._lock:
            self._cut.clear()
            self._loss.clear()
            self._apply()

    def _apply(self):
        rules = []
        for port in sorted(self._cut):
            rules += [f"tcp dport {port} drop", f"tcp sport {port} drop"]
        for port, percent in sorted(self._loss.items()):
            chance = f"numgen random mod 100 < {percent}"
            rules += [f"tcp dport {port} {chance} drop", f"tcp sport {port} {chance} drop"]
        # Replaced as a whole in one transaction: the first line makes sure
        # the table exists, so that deleting it never fails.
        script = "\n".join(
            [
                f"table {_TABLE}",
                f"delete table {_TABLE}",
                f"table {_TABLE} {{",
                "  chain input {",
                "    type filter hook input priority 0; policy accept;",
                *(f"    {rule}" for rule in rules),
                "  }",
                "}",
                "",
            ]
        )
        processes.run(["nft", "-f", "-"], input=script)
