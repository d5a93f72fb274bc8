#!/usr/bin/env python3
# What murmelpost-server sustains under many clients, measured with murmelpost-load against
# a private server (temporary state folder, free port, --no-sender-verification); the
# scenarios a) to e) are described where main() runs them.
# Usage: bench/server_load.py [--build build/default] [--server PROGRAM] [--dir FOLDER] [--quick]
#                            [--voice-format mp3|wav|both]

import argparse
import contextlib
import functools
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_server import Server, raise_open_file_limit  # noqa: E402


def run_load(load, port, *arguments, background=False):
    command = [load, "--server", f"127.0.0.1:{port}", *map(str, arguments)]
    if background:
        return subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    return parse_load(subprocess.run(command, stdout=subprocess.PIPE, text=True).stdout)


def parse_load(text):
    result = {"text": text}
    if m := re.search(r"accepted (\d+) of (\d+) in ([\d.]+) s: ([\d.]+) messages/s", text):
        result.update(accepted=int(m[1]), wanted=int(m[2]), seconds=float(m[3]), rate=float(m[4]))
    if m := re.search(r"p50 ([\d.]+) ms, p99 ([\d.]+) ms, max ([\d.]+) ms", text):
        result.update(p50=float(m[1]), p99=float(m[2]), max=float(m[3]))
    return result


def describe(r):
    return (f"{r.get('accepted', 0)}/{r.get('wanted', 0)} accepted, {r.get('rate', 0):.0f} msg/s, "
            f"p50 {r.get('p50', 0):.1f} ms, p99 {r.get('p99', 0):.1f} ms")


def composed_within(state, start):
    # The server composes after it answers.
    folder = os.path.join(state, "accepted", "new")
    while os.path.isdir(folder) and os.listdir(folder):
        time.sleep(0.01)
    return time.perf_counter() - start


def fsync_rate(folder, count):
    # Three serial fsyncs a message (spool file, its folder, the store's journal): the
    # disk's own ceiling for durable acceptance.
    os.makedirs(os.path.join(folder, "new"), exist_ok=True)
    directory = os.open(os.path.join(folder, "new"), os.O_RDONLY)
    journal = os.open(os.path.join(folder, "journal"), os.O_WRONLY | os.O_CREAT | os.O_APPEND)
    start = time.perf_counter()
    for i in range(count):
        spool = os.path.join(folder, f"tmp-{i}")
        fd = os.open(spool, os.O_WRONLY | os.O_CREAT, 0o600)
        os.write(fd, b"m" * 2048)
        os.fsync(fd)
        os.close(fd)
        os.rename(spool, os.path.join(folder, "new", f"m-{i}"))
        os.fsync(directory)
        os.write(journal, b"r" * 256)
        os.fsync(journal)
    rate = count / (time.perf_counter() - start)
    os.close(directory)
    os.close(journal)
    return rate


def slowloris(port, count, stop):
    sockets = []
    for i in range(count):
        s = socket.create_connection(("127.0.0.1", port), source_address=(f"127.0.1.{i // 8 + 1}", 0))
        s.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\n")
        sockets.append(s)
    while not stop.wait(2.0):
        for s in sockets:
            with contextlib.suppress(OSError):
                s.sendall(b"X-Slow: 1\r\n")
    for s in sockets:
        s.close()


def page_load(port):
    return subprocess.run(
        ["curl", "-s", "-o", "/dev/null", "--max-time", "20", "--interface", "127.0.0.2",
         "-w", "%{http_code} %{time_total}", f"http://127.0.0.1:{port}/help/"],
        capture_output=True, text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser(description="What murmelpost-server sustains")
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--server", help="another murmelpost-server build to measure")
    parser.add_argument("--dir", help="where the state folders go: the disk to measure")
    parser.add_argument("--quick", action="store_true", help="smaller counts, for a smoke run")
    parser.add_argument("--voice-format", help="the server's (wav: without the MP3 encoder)")
    args = parser.parse_args()
    server_program = args.server or os.path.join(args.build, "server/murmelpost-server")
    load = os.path.join(args.build, "tools/murmelpost-load")
    limit = raise_open_file_limit()
    q = args.quick
    # The server counts two descriptors a session (socket and spool file) and keeps 64; as
    # many idle connections as that leaves, up to 10,000.
    sessions = (limit - 64) // 2
    idle = min(1000 if q else 10000, sessions - 100)
    if idle < 1000:
        sys.exit(f"the open-file limit {limit} is too low for 1000 idle connections (ulimit -Hn)")
    # Each scenario opens thousands of connections from 127.0.0.1: no per-address caps.
    extra = ["--max-sessions", str(sessions), "--idle-timeout", "600", "--max-sessions-per-ip",
             str(sessions), "--max-messages-per-ip", "1000000", "--max-messages-per-sender",
             "1000000"] + (["--voice-format", args.voice_format] if args.voice_format else [])
    server = functools.partial(Server, server_program, extra, args.dir)
    rows = []

    # a) throughput against the disk's own fsync rate, in the same folder
    for clients, messages in ((100, 5 if q else 20), (20, 10 if q else 50)):
        with server() as s:
            start = time.perf_counter()
            r = run_load(load, s.port, "--clients", clients, "--messages", messages, "--chunks", 1)
            composed = composed_within(s.state, start)
            # Once the server is quiet, so that the disk's rate is its own.
            disk = fsync_rate(s.state, 100 if q else 1000)
        rows.append((f"a) {clients} clients x {messages} one-chunk messages",
                     describe(r) + f", all e-mail in {composed:.1f} s",
                     f"disk: {disk:.0f} msg/s at 3 fsyncs"))
        print(r["text"], flush=True)

    # b) a small session's FINI round trip while ten 16 MiB messages are accepted
    with server() as s:
        chunks = 1024 if q else 8192
        big = run_load(load, s.port, "--clients", 10, "--chunks", chunks, "--attachment",
                       chunks * 1024, "--tag", "big", background=True)
        time.sleep(0.5)
        small = run_load(load, s.port, "--clients", 1, "--messages", 1000000, "--chunks", 1,
                         "--tag", "small", background=True)
        big = parse_load(big.communicate()[0])
        small.send_signal(signal.SIGINT)
        small = parse_load(small.communicate()[0])
        rows.append((f"b) FINI round trip beside 10 x {2 * chunks // 1024} MiB",
                     describe(small) + f", max {small.get('max', 0):.1f} ms",
                     f"big: {big.get('accepted', 0)}/10 in {big.get('seconds', 0):.1f} s"))
        print(big["text"], small["text"], sep="\n", flush=True)

    # c) many concurrent long uploads
    with server() as s:
        clients = 100 if q else 1000
        r = run_load(load, s.port, "--clients", clients, "--chunks", 200)
        rows.append((f"c) {clients} concurrent 200-chunk messages", describe(r),
                     f"server peak RSS {s.memory_kib('VmHWM') / 1024:.1f} MiB"))
        print(r["text"], flush=True)

    # d) idle connections
    with server() as s:
        before = s.memory_kib("VmRSS")
        holder = run_load(load, s.port, "--idle", idle, "--hold", 5, background=True)
        first = holder.stdout.readline()
        time.sleep(1)
        during = s.memory_kib("VmRSS")
        held = int(m[1]) if (m := re.search(r"idle: (\d+) of", first)) else 0
        rows.append((f"d) {idle} idle connections",
                     f"{held} open, server RSS {before / 1024:.1f} -> {during / 1024:.1f} MiB",
                     f"{(during - before) * 1024 / max(held, 1):.0f} bytes per connection"))
        print(first + holder.communicate()[0], flush=True)

    # e) help pages beside slow HTTP clients, each sending one header line every two
    # seconds, eight from each of 127.0.1.1, 127.0.1.2, ... (under the per-address cap)
    for count in (0, 8) if q else (0, 8, 64):
        with Server(server_program, http=True, parent=args.dir) as s:
            stop = threading.Event()
            attack = threading.Thread(target=slowloris, args=(s.http_port, count, stop))
            attack.start()
            time.sleep(6)  # the slow heads are well under way
            loads = ", ".join(page_load(s.http_port) for _ in range(3))
            stop.set()
            attack.join()
        rows.append((f"e) help page beside {count} slow HTTP clients", loads, "code, seconds"))

    width = max(len(r[0]) for r in rows)
    print(f"\n{'scenario':<{width}}  result  |  beside it")
    for name, result, beside in rows:
        print(f"{name:<{width}}  {result}  |  {beside}")


if __name__ == "__main__":
    main()
