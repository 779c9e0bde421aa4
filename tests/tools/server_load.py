#!/usr/bin/env python3
"""rundix-server under load, on loopback only: N concurrent well-behaved clients (each opens
its own connection and makes a login-ticket request and a usage report) while a flood of slow
clients dribbles request heads one line at a time beside them. Prints how many were answered
and the latencies; exits 1 unless every well-behaved client got both answers.

    tests/tools/server_load.py [--server build/linux/tools/server/rundix-server]
                               [--clients 1000] [--slow 200] [--slow-interval 2]

The run is bounded: the slow flood stops when the clients are done, and every wait has a
time-out."""
import argparse
import asyncio
import resource
import subprocess
import sys
import time


async def slow_client(port, interval, stop, counters):
    try:
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
    except OSError:
        counters["slow_refused"] += 1
        return
    counters["slow_open"] += 1
    writer.write(b"GET /rundix/api/loginqrcode?appid=1&time=1 HTTP/1.1\r\n")
    line = 0
    try:
        while not stop.is_set():
            writer.write(b"X-Slow-%d: 1\r\n" % line)
            await writer.drain()
            line += 1
            try:
                await asyncio.wait_for(stop.wait(), interval)
            except asyncio.TimeoutError:
                pass
            try:  # whatever the server said (a 400) then its close
                while await asyncio.wait_for(reader.read(4096), 0.01):
                    pass
                eof = True
            except asyncio.TimeoutError:
                eof = False
            if eof:
                counters["slow_cut"] += 1
                # A cut slow client comes back, as an attacker would.
                writer.close()
                reader, writer = await asyncio.open_connection("127.0.0.1", port)
                writer.write(b"GET / HTTP/1.1\r\n")
    except (OSError, ConnectionError):
        counters["slow_cut"] += 1
    finally:
        writer.close()


async def request(reader, writer, target):
    writer.write(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % target).encode())
    await writer.drain()
    head = await reader.readuntil(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":", 1)[1])
    await reader.readexactly(length)
    return status


async def good_client(port, index, latencies, failures):
    start = time.monotonic()
    try:
        reader, writer = await asyncio.wait_for(asyncio.open_connection("127.0.0.1", port), 30)
        a = await asyncio.wait_for(request(reader, writer, "/rundix/api/loginqrcode?appid=x&time=%d" % index), 30)
        b = await asyncio.wait_for(request(reader, writer, "/rundix/behavior/action?main=load&sub=%d" % index), 30)
        writer.close()
        if a != 200 or b != 200:
            failures.append("client %d: statuses %d %d" % (index, a, b))
            return
        latencies.append(time.monotonic() - start)
    except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, ValueError) as error:
        failures.append("client %d: %r" % (index, error))


async def main(args):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    server = subprocess.Popen([args.server, "--port", "0"] + args.server_args,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        port = int(server.stdout.readline())
        stop = asyncio.Event()
        counters = {"slow_open": 0, "slow_cut": 0, "slow_refused": 0}
        flood = [asyncio.create_task(slow_client(port, args.slow_interval, stop, counters))
                 for _ in range(args.slow)]
        await asyncio.sleep(2)  # the flood holds its connections before the clients come
        latencies, failures = [], []
        started = time.monotonic()
        await asyncio.gather(*(good_client(port, i, latencies, failures) for i in range(args.clients)))
        elapsed = time.monotonic() - started
        stop.set()
        await asyncio.wait(flood, timeout=10)
        latencies.sort()

        def pct(p):
            return latencies[min(len(latencies) - 1, int(p * len(latencies)))] if latencies else float("nan")

        print("server options: %s" % (" ".join(args.server_args) or "(defaults)"))
        print("slow clients: %d held open, %d cut by the server, %d refused"
              % (counters["slow_open"], counters["slow_cut"], counters["slow_refused"]))
        print("well-behaved clients: %d of %d answered in %.2f s; latency p50 %.3f s, p99 %.3f s, max %.3f s"
              % (len(latencies), args.clients, elapsed, pct(0.5), pct(0.99), pct(1.0)))
        for failure in failures[:10]:
            print("  " + failure)
        return 0 if not failures else 1
    finally:
        server.terminate()
        server.wait(timeout=15)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default="build/linux/tools/server/rundix-server")
    parser.add_argument("--clients", type=int, default=1000)
    parser.add_argument("--slow", type=int, default=200)
    parser.add_argument("--slow-interval", type=float, default=2.0)
    parser.add_argument("server_args", nargs="*", help="extra rundix-server options (after --)")
    sys.exit(asyncio.run(main(parser.parse_args())))
