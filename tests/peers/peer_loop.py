"""The run of a test peer: report the port it listens on, then serve until told to stop."""

import asyncio
import signal
import sys


async def serve_until_stopped(server):
    """Prints "READY <port>" for the test that started this peer, then serves until a
    SIGTERM or SIGINT, or until standard input closes (the test ended without a word)."""
    loop = asyncio.get_running_loop()
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)

    def stdin_readable():
        if not sys.stdin.buffer.raw.read(4096):
            stop.set()
    loop.add_reader(sys.stdin.fileno(), stdin_readable)
    print(f"READY {server.sockets[0].getsockname()[1]}", flush=True)
    await stop.wait()
    server.close()
