#!/usr/bin/python3
"""A scripted TCP server on loopback for the faults that real mail servers won't produce.

Listens on 127.0.0.1 (the given port, or a free one), prints "READY <port>" once it
listens, and plays a script to every connection. A script holds one step per line;
blank lines and lines starting with "#" are skipped; a line "connection" starts the
script of the next connection (the last one is played to any further connections).

    send TEXT        send TEXT (escapes below)
    sendline TEXT    send TEXT and CR LF
    split N TEXT     send TEXT in pieces of N bytes, pausing between the pieces
    fill N TEXT      send TEXT repeated N times (over-long lines, huge replies)
    expect PATTERN   wait for the client's next line and match it, ignoring case ("*"
                     any run of characters, "?" one); a mismatch or no line in time
                     ends the connection
    expect-data      wait for lines up to the lone "." that ends a DATA block
    sleep MS         stall for MS milliseconds
    stall            read and record until the client closes (bounded by --stall-limit)
    close            close the connection (also what happens when the script ends)

Escapes in TEXT and PATTERN: \\r \\n \\t \\\\ \\xHH and \\s (a blank, so that a
trailing blank survives editors).

Every connection event becomes one JSON line in the record file as it happens:

    {"conn": 1, "event": "accepted", "peer": "127.0.0.1"}
    {"conn": 1, "event": "line", "text": "USER alice", "eol": "\\r\\n"}
    {"conn": 1, "event": "mismatch", "expected": "PASS *", "text": "QUIT"}
    {"conn": 1, "event": "timeout", "expected": "PASS *"}
    {"conn": 1, "event": "closed", "by": "server" | "client"}

Text is the received bytes as Latin-1 without the line end; "eol" is the line end that
came ("\\r\\n", "\\n", or "" for a last line cut off by the close). It stops when its
standard input closes or on SIGTERM.
"""

import argparse
import asyncio
import json
import re
import socket
import sys

from peer_loop import serve_until_stopped

LINE_CAP = 1 << 20  # a line the client sends beyond this is recorded in pieces
EOF = object()


def unescape(text):
    def one(match):
        code = match.group(1)
        if code.startswith("x"):
            return chr(int(code[1:], 16))
        return {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", "s": " "}[code]
    return re.sub(r"\\(x[0-9A-Fa-f]{2}|[rnts\\])", one, text).encode("latin-1")


def glob_to_regex(pattern):
    parts = (".*" if c == "*" else "." if c == "?" else re.escape(c) for c in pattern)
    # Mail commands are case-insensitive (RFC 5321 2.4, RFC 1939 3); so is the match.
    return re.compile("".join(parts), re.DOTALL | re.IGNORECASE)


def parse_script(text):
    """Returns a list of connection scripts, each a list of (verb, argument)."""
    scripts, current = [], []
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip("\r\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        verb, _, arg = line.lstrip().partition(" ")
        if verb == "connection":
            if current:
                scripts.append(current)
            current = []
            continue
        if verb not in ("send", "sendline", "split", "fill", "expect", "expect-data",
                        "sleep", "stall", "close"):
            raise ValueError(f"script line {number}: unknown step {verb!r}")
        current.append((verb, arg))
    scripts.append(current)
    return scripts


class Recorder:
    def __init__(self, path):
        self._file = open(path, "a", encoding="ascii") if path else None

    def write(self, **record):
        if self._file:
            self._file.write(json.dumps(record) + "\n")
            self._file.flush()


class Connection:
    """Plays one script to one client; a reader task records every line it sends."""

    def __init__(self, number, steps, reader, writer, options, recorder):
        self.number, self.steps, self.options = number, steps, options
        self.reader, self.writer, self.recorder = reader, writer, recorder
        self.lines = asyncio.Queue()
        self.client_closed = asyncio.Event()

    def record(self, event, **fields):
        self.recorder.write(conn=self.number, event=event, **fields)

    async def read_lines(self):
        pending = b""
        while True:
            try:
                chunk = await self.reader.read(65536)
            except (ConnectionError, OSError):
                chunk = b""
            if not chunk:
                break
            pending += chunk
            while b"\n" in pending or len(pending) > LINE_CAP:
                cut = pending.find(b"\n") + 1 or LINE_CAP
                self.take_line(pending[:cut])
                pending = pending[cut:]
        if pending:
            self.take_line(pending)
        self.client_closed.set()
        self.record("closed", by="client")
        await self.lines.put(EOF)

    def take_line(self, raw):
        eol = "\r\n" if raw.endswith(b"\r\n") else "\n" if raw.endswith(b"\n") else ""
        text = raw[:len(raw) - len(eol)].decode("latin-1")
        self.record("line", text=text, eol=eol)
        self.lines.put_nowait(text)

    async def next_line(self, expected):
        try:
            line = await asyncio.wait_for(self.lines.get(), self.options.expect_timeout)
        except asyncio.TimeoutError:
            self.record("timeout", expected=expected)
            return None
        return None if line is EOF else line

    async def send(self, data):
        self.writer.write(data)
        await self.writer.drain()

    async def step(self, verb, arg):
        """Runs one step; False ends the connection."""
        if verb == "send":
            await self.send(unescape(arg))
        elif verb == "sendline":
            await self.send(unescape(arg) + b"\r\n")
        elif verb in ("split", "fill"):
            count, _, text = arg.partition(" ")
            data = unescape(text)
            if verb == "fill":
                await self.send(data * int(count))
            else:
                for i in range(0, len(data), int(count)):
                    await self.send(data[i:i + int(count)])
                    await asyncio.sleep(self.options.piece_pause_ms / 1000)
        elif verb == "expect":
            return await self.expect(arg)
        elif verb == "expect-data":
            return await self.expect_data()
        elif verb == "sleep":
            await asyncio.sleep(int(arg) / 1000)
        elif verb == "stall":
            try:
                await asyncio.wait_for(self.client_closed.wait(), self.options.stall_limit)
            except asyncio.TimeoutError:
                pass
            return False
        elif verb == "close":
            return False
        return True

    async def expect(self, pattern):
        line = await self.next_line(pattern)
        if line is None:
            return False
        if not glob_to_regex(unescape(pattern).decode("latin-1")).fullmatch(line):
            self.record("mismatch", expected=pattern, text=line)
            return False
        return True

    async def expect_data(self):
        while True:
            line = await self.next_line("expect-data")
            if line is None:
                return False
            if line == ".":
                return True

    async def play(self):
        peer = self.writer.get_extra_info("peername")
        self.record("accepted", peer=peer[0] if peer else "")
        reading = asyncio.create_task(self.read_lines())
        try:
            for verb, arg in self.steps:
                if not await self.step(verb, arg):
                    break
        except (ConnectionError, OSError):
            pass
        if not self.client_closed.is_set():
            self.writer.close()
            self.record("closed", by="server")
        reading.cancel()


class Server:
    def __init__(self, scripts, options):
        self.scripts, self.options = scripts, options
        self.recorder = Recorder(options.record)
        self.count = 0

    async def handle(self, reader, writer):
        self.count += 1
        steps = self.scripts[min(self.count, len(self.scripts)) - 1]
        sock = writer.get_extra_info("socket")
        if sock is not None:
            # Pieces of a split reply must leave one by one.
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await Connection(self.count, steps, reader, writer, self.options, self.recorder).play()


async def serve(server, options):
    listener = await asyncio.start_server(server.handle, host="127.0.0.1", port=options.port,
                                          limit=LINE_CAP)
    await serve_until_stopped(listener)


def parse_options(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--script", required=True, help="the script file")
    p.add_argument("--port", type=int, default=0, help="port on 127.0.0.1, 0 for a free one")
    p.add_argument("--record", default="", help="file that receives one JSON line per event")
    p.add_argument("--expect-timeout", type=float, default=10.0,
                   help="seconds an expect step waits for the client's line")
    p.add_argument("--stall-limit", type=float, default=60.0,
                   help="seconds a stall step waits for the client to close")
    p.add_argument("--piece-pause-ms", type=float, default=3.0,
                   help="pause between the pieces of a split step")
    return p.parse_args(argv)


def main(argv):
    options = parse_options(argv)
    try:
        with open(options.script, encoding="latin-1") as f:
            scripts = parse_script(f.read())
    except (OSError, ValueError) as error:
        sys.stderr.write(f"scripted_server: {error}\n")
        return 2
    asyncio.run(serve(Server(scripts, options), options))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
