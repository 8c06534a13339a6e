"""The slow link the other tests and the demo put between the program and a
device: it adds its round trip, keeps the bytes whole and in order, and
passes a close on."""

import socket
import struct
import time
import unittest

from linkfault import work_folder
from rtupoll_harness.proxy import LinkProxy
from rtupoll_harness.simulator import Simulator


def read_request(transaction_id, address, count):
    return struct.pack("!HHHBBHH", transaction_id, 0, 6, 1, 3, address, count)


def receive(connection, size):
    data = b""
    while len(data) < size:
        chunk = connection.recv(size - len(data))
        if not chunk:
            break
        data += chunk
    return data


class LinkProxyTest(unittest.TestCase):
    def setUp(self):
        self.devices = Simulator(work_folder(self), "device", seconds=60, extra=["--close-after", "2"])
        self.addCleanup(self.devices.stop)

    def test_adds_its_round_trip_keeps_the_bytes_and_passes_a_close_on(self):
        link = LinkProxy(self.devices.ports[0], rtt_ms=300, seconds=60)
        self.addCleanup(link.stop)
        with socket.create_connection(("127.0.0.1", link.port), timeout=10) as connection:
            sent = time.monotonic()
            # Two requests in one write come back as two whole answers.
            connection.sendall(read_request(7, 3, 1) + read_request(8, 4, 2))
            first = receive(connection, 11)
            took = time.monotonic() - sent
            second = receive(connection, 13)
            self.assertGreaterEqual(took, 0.3)
            self.assertLess(took, 1.0)
            self.assertEqual(struct.unpack("!H", first[:2])[0], 7)
            self.assertEqual(struct.unpack("!H", first[9:11])[0], 103)  # device 0, address 3
            self.assertEqual(struct.unpack("!HH", second[9:13]), (104, 105))
            # The device closes after 2 s; the close arrives half a round trip later.
            self.assertEqual(connection.recv(1), b"")
            self.assertGreaterEqual(time.monotonic() - sent, 2.0)
        self.assertEqual(len(link.clients()), 1)


if __name__ == "__main__":
    unittest.main()
