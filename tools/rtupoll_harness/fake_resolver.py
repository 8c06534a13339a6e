"""A name server on 127.0.0.1:53 inside the namespace, slow or silent.

It answers the A queries of the names it is given after a delay, with no
address for their other queries, and never answers any other name, as a
resolver behind a dead link would not. Use it with
namespace.use_resolver_config("nameserver 127.0.0.1\\n").
"""

import socket
import struct
import threading
import time
from dataclasses import dataclass

_TYPE_A = 1
_CLASS_IN = 1


@dataclass
class Query:
    time: float
    source_port: int  # one per lookup: the resolver opens a socket for each
    name: str
    qtype: int


def _question(packet):
    """(name, qtype, end of the question) of a query packet."""
    labels, at = [], 12
    while packet[at]:
        length = packet[at]
        labels.append(packet[at + 1 : at + 1 + length].decode("ascii", "replace"))
        at += 1 + length
    qtype, _ = struct.unpack_from("!HH", packet, at + 1)
    return ".".join(labels).lower(), qtype, at + 5


def _answer(packet, end, address):
    """The answer to the query packet: address as its A record, or none."""
    transaction_id = packet[:2]
    records = 1 if address else 0
    # Flags: a response, recursion desired and available, no error.
    header = transaction_id + struct.pack("!HHHHH", 0x8180, 1, records, 0, 0)
    reply = header + packet[12:end]
    if address:
        # The name as a pointer to the question (offset 12), 60 s to live.
        reply += struct.pack("!HHHIH", 0xC00C, _TYPE_A, _CLASS_IN, 60, 4) + socket.inet_aton(address)
    return reply


class FakeResolver:
    def __init__(self, answers, delay):
        """answers: {name: IPv4 address} to answer, after delay seconds."""
        self._answers = {name.lower(): address for name, address in answers.items()}
        self._delay = delay
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._socket.bind(("127.0.0.1", 53))
        self._socket.settimeout(0.2)  # to notice close()
        self._closed = threading.Event()
        self._lock = threading.Lock()
        self._queries = []
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while not self._closed.is_set():
            try:
                packet, sender = self._socket.recvfrom(512)
                name, qtype, end = _question(packet)
            except TimeoutError:
                continue
            except (IndexError, struct.error):
                continue  # not a query
            with self._lock:
                self._queries.append(Query(time.time(), sender[1], name, qtype))
            if name in self._answers:
                address = self._answers[name] if qtype == _TYPE_A else None
                reply = _answer(packet, end, address)
                threading.Timer(self._delay, self._send, (reply, sender)).start()
        self._socket.close()

    def _send(self, reply, sender):
        if not self._closed.is_set():
            self._socket.sendto(reply, sender)

    def queries(self, name=None):
        with self._lock:
            return [q for q in self._queries if name is None or q.name == name]

    def lookups(self, name):
        """When each lookup of name began: its first query from a new port."""
        first = {}
        for query in self.queries(name):
            first.setdefault(query.source_port, query.time)
        return sorted(first.values())

    def close(self):
        self._closed.set()
