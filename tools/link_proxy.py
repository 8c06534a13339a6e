#!/usr/bin/env python3
"""link-proxy: a slow field link between rtupoll and a device, on loopback.

Listens on 127.0.0.1 and forwards each connection to a device on 127.0.0.1,
holding every chunk of bytes for half the round trip in each direction, as
a cellular or radio link does. The order of the bytes is kept; a close on
either side reaches the other side after the same delay.

    link_proxy.py --target PORT [--listen PORT] [--rtt-ms N] [--seconds N]

Prints "proxying 127.0.0.1:LISTEN to 127.0.0.1:TARGET" once it listens and
"accepted a client on 127.0.0.1:LISTEN" for every connection. It serves
loopback only and stops on SIGTERM or SIGINT, or by itself after --seconds.
"""

import argparse
import asyncio
import signal
import sys

LOOPBACK = "127.0.0.1"
CHUNK = 65536


def parse_arguments(argv):
    parser = argparse.ArgumentParser(prog="link_proxy.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--target", type=int, required=True, help="device port on 127.0.0.1")
    parser.add_argument("--listen", type=int, default=0, help="port to listen on (0: a free one)")
    parser.add_argument("--rtt-ms", type=int, default=200, help="round trip the link adds, 0 to 10000 ms")
    parser.add_argument("--seconds", type=float, help="stop by itself after this many seconds")
    args = parser.parse_args(argv)
    if not 0 <= args.rtt_ms <= 10000:
        parser.error("--rtt-ms must lie in 0..10000")
    if not (0 < args.target < 65536 and 0 <= args.listen < 65536):
        parser.error("ports must lie in 1..65535")
    if args.seconds is not None and not args.seconds > 0:
        parser.error("--seconds must be above 0")
    return args


async def carry(reader, writer, delay):
    """Copies reader to writer, each chunk delay seconds after it came."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if data is None:
                return
            writer.write(data)
            await writer.drain()

    delivering = asyncio.create_task(deliver())
    try:
        while data := await reader.read(CHUNK):
            queue.put_nowait((loop.time() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((loop.time() + delay, None))
    try:
        await delivering
    except ConnectionError:
        pass


async def serve_client(client_reader, client_writer, args, listen_port):
    print(f"accepted a client on {LOOPBACK}:{listen_port}", flush=True)
    delay = args.rtt_ms / 2000.0
    try:
        device_reader, device_writer = await asyncio.open_connection(LOOPBACK, args.target)
    except OSError:
        client_writer.close()
        return
    # Either direction ending ends the link, as a close ends a TCP link for
    # a Modbus device: what was under way still arrives first.
    directions = [
        asyncio.create_task(carry(client_reader, device_writer, delay)),
        asyncio.create_task(carry(device_reader, client_writer, delay)),
    ]
    await asyncio.wait(directions, return_when=asyncio.FIRST_COMPLETED)
    for task in directions:
        task.cancel()
    for writer in (client_writer, device_writer):
        writer.close()


async def main(args):
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    if args.seconds is not None:
        loop.call_later(args.seconds, stop.set)
    listen_port = None

    async def on_client(reader, writer):
        try:
            await serve_client(reader, writer, args, listen_port)
        except asyncio.CancelledError:
            writer.close()  # stopping: the link ends with the proxy

    server = await asyncio.start_server(on_client, LOOPBACK, args.listen)
    listen_port = server.sockets[0].getsockname()[1]
    print(f"proxying {LOOPBACK}:{listen_port} to {LOOPBACK}:{args.target}", flush=True)
    async with server:
        await stop.wait()
    print("stopped", flush=True)


if __name__ == "__main__":
    asyncio.run(main(parse_arguments(sys.argv[1:])))
