#!/usr/bin/env python3
# Accepted messages per second through HAProxy with one and with two murmelpost-servers on
# one private PostgreSQL (same run).
# --quickack runs it all in a private network namespace whose loopback routes carry
# "quickack 1", as docs/scaling.md advises for the HAProxy host: without it HAProxy delays
# its ACKs and every frame of the client's waits out the delayed-ACK timer.
# Usage: bench/scale_bench.py BUILD_DIR [--clients N] [--messages M] [--quickack]

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "server"))
import scale_test  # noqa: E402


def run(load, port, *arguments):
    return subprocess.run([load, "--server", f"127.0.0.1:{port}", *map(str, arguments)],
                          capture_output=True, text=True).stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--clients", type=int, default=50)
    parser.add_argument("--messages", type=int, default=20)
    parser.add_argument("--quickack", action="store_true")
    args = parser.parse_args()
    if args.quickack and not os.environ.get("MURMELPOST_BENCH_NETNS"):
        unshare = ["unshare", "-n"] if os.getuid() == 0 else ["unshare", "-rn"]
        os.execvp(unshare[0], [*unshare, "env", "MURMELPOST_BENCH_NETNS=1", sys.executable,
                               *sys.argv])
    if args.quickack:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        for prefix in ("127.0.0.0/8", "127.0.0.1"):
            subprocess.run(["ip", "route", "change", "local", prefix, "dev", "lo", "table", "local",
                            "proto", "kernel", "scope", "host", "src", "127.0.0.1", "quickack",
                            "1"], check=True)
    server = os.path.join(args.build, "server", "murmelpost-server")
    load = os.path.join(args.build, "tools", "murmelpost-load")
    root = tempfile.mkdtemp(prefix="murmelpost-scale-bench-")
    cluster = os.path.join(root, "postgres")
    uri = subprocess.run([scale_test.PRIVATE_POSTGRES, "start", cluster], capture_output=True,
                         text=True, check=True).stdout.strip()
    nodes, proxies = [], []
    try:
        for name in ("a", "b"):
            node = scale_test.Node(name, server, root, uri, "http://127.0.0.1:1")
            node.start()
            nodes.append(node)
        # The load's sender needs no confirmation for this: confirm it in the database.
        scale_test.psql(uri, "INSERT INTO senders(key, verified_until) VALUES "
                             "('load@example.com', 4000000000)")
        for count in (1, 2):
            front = scale_test.free_port()
            config = os.path.join(root, f"haproxy{count}.cfg")
            scale_test.haproxy_config(config, front, scale_test.free_port(), nodes[:count])
            proxies.append(subprocess.Popen(["haproxy", "-f", config, "-db"],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            scale_test.wait_for("haproxy", lambda: "accepted 1 of 1" in run(
                load, front, "--clients", 1, "--tag", f"warm{count}"))
            out = run(load, front, "--clients", args.clients, "--messages", args.messages,
                      "--tag", f"servers{count}")
            line = re.search(r"accepted .*messages/s", out)
            print(f"{count} server(s) behind HAProxy: {line[0] if line else out}")
    finally:
        for proxy in proxies:
            proxy.terminate()
            proxy.wait()
        for node in nodes:
            node.stop()
        subprocess.run([scale_test.PRIVATE_POSTGRES, "stop", cluster])
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
