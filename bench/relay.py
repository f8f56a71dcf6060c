#!/usr/bin/python3
"""A TCP relay on loopback that behaves like a distant server.

Usage: bench/relay.py --port P --target HOST:PORT [--delay-ms 20] [--window BYTES]

Every accepted connection gets its own connection to the target. Each chunk read on
one side is held for the delay before it is written to the other side, in both
directions, and each direction keeps at most `window` bytes in flight: a chunk's
bytes count until the delay after it was written (its acknowledgement travelling
back), so one connection tops out near window / (2 x delay), like TCP with that
receive window over that round trip.
"""
import argparse
import asyncio
import collections

CHUNK = 64 * 1024


class Direction:
    """One way of one relayed connection: reader -> (delay) -> writer, window-limited."""

    def __init__(self, reader, writer, delay, window):
        self.reader, self.writer = reader, writer
        self.delay, self.window = delay, window
        self.in_flight = 0
        self.credit = asyncio.Event()
        self.credit.set()
        self.queue = collections.deque()
        self.ready = asyncio.Event()

    async def pump_in(self):
        loop = asyncio.get_running_loop()
        while True:
            while self.in_flight >= self.window:
                self.credit.clear()
                await self.credit.wait()
            data = await self.reader.read(min(CHUNK, self.window - self.in_flight))
            self.queue.append((loop.time() + self.delay, data))
            self.ready.set()
            if not data:
                return
            self.in_flight += len(data)

    async def pump_out(self):
        loop = asyncio.get_running_loop()
        while True:
            while not self.queue:
                self.ready.clear()
                await self.ready.wait()
            due, data = self.queue.popleft()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if self.writer.can_write_eof():
                    self.writer.write_eof()
                return
            self.writer.write(data)
            await self.writer.drain()
            loop.call_later(self.delay, self.acknowledge, len(data))

    def acknowledge(self, size):
        self.in_flight -= size
        self.credit.set()


async def relay(client_reader, client_writer, target, delay, window):
    try:
        server_reader, server_writer = await asyncio.open_connection(*target)
    except OSError:
        client_writer.close()
        return
    directions = [Direction(client_reader, server_writer, delay, window),
                  Direction(server_reader, client_writer, delay, window)]
    tasks = [asyncio.ensure_future(task) for d in directions for task in (d.pump_in(), d.pump_out())]
    try:
        # Over when the server's side has been relayed to its end, or when a side fails
        # (a client that has all it wants simply drops the connection).
        pending = set(tasks)
        while not tasks[3].done():
            done, pending = await asyncio.wait(pending, return_when=asyncio.FIRST_COMPLETED)
            if any(task.exception() for task in done):
                break
    finally:
        for task in tasks:
            task.cancel()
        await asyncio.gather(*tasks, return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--target", required=True, help="HOST:PORT")
    parser.add_argument("--delay-ms", type=float, default=20.0)
    parser.add_argument("--window", type=int, default=256 * 1024)
    args = parser.parse_args()
    host, _, port = args.target.rpartition(":")
    target = (host, int(port))
    delay = args.delay_ms / 1000.0
    server = await asyncio.start_server(
        lambda r, w: relay(r, w, target, delay, args.window), "127.0.0.1", args.port,
        limit=CHUNK)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
