#!/usr/bin/env python3
# Page-load latency of murmelpost-server's HTTP pages while slow clients hold connections.
#
# Starts the server given, opens N connections that send a request head one header line
# every INTERVAL seconds and never finish it, eight from each of 127.0.1.1, 127.0.1.2, ...
# (under the per-address cap, so the server must hold them all), then times page loads from
# 127.0.0.2 with curl, as a browser beside the attack would see them.
#
#   bench/http_slowloris.py build/default/server/murmelpost-server 8 64
import os
import socket
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_server import Server  # noqa: E402

INTERVAL = 2.0
LOADS = 3


def slowloris(port, count, stop):
    sockets = []
    for i in range(count):
        s = socket.create_connection(("127.0.0.1", port), source_address=(f"127.0.1.{i // 8 + 1}", 0))
        s.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\n")
        sockets.append(s)
    while not stop.wait(INTERVAL):
        for s in sockets:
            try:
                s.sendall(b"X-Slow: 1\r\n")
            except OSError:
                pass
    for s in sockets:
        s.close()


def page_load(port):
    out = subprocess.run(
        ["curl", "-s", "-o", "/dev/null", "--max-time", "20", "--interface", "127.0.0.2",
         "-w", "%{http_code} %{time_total}", f"http://127.0.0.1:{port}/help/"],
        capture_output=True, text=True)
    return out.stdout.strip()


def main():
    program, counts = sys.argv[1], [int(n) for n in sys.argv[2:]] or [8, 64]
    for count in [0] + counts:
        with Server(program, http=True) as server:
            stop = threading.Event()
            attack = threading.Thread(target=slowloris, args=(server.http_port, count, stop))
            attack.start()
            time.sleep(3 * INTERVAL)  # the slow heads are well under way
            loads = [page_load(server.http_port) for _ in range(LOADS)]
            stop.set()
            attack.join()
            print(f"{count:3d} slow connections: " + ", ".join(loads), flush=True)


if __name__ == "__main__":
    main()
