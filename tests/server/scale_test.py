#!/usr/bin/env python3
# Two murmelpost-servers on one private PostgreSQL behind HAProxy in TCP mode, driven with
# murmelpost-load: a confirmation link mailed by one server works on the other, and after one
# server is killed mid-load every acknowledged message is accepted once and delivered once it
# is back, while HAProxy sends new sessions to the survivor. Exits 77 (skipped) only where
# PostgreSQL or HAProxy cannot start.
# Usage: scale_test.py SERVER LOAD

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

PRIVATE_POSTGRES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                                "private-postgres")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, seconds=60):
    deadline = time.monotonic() + seconds
    while not check():
        if time.monotonic() > deadline:
            raise AssertionError(f"{what} within {seconds} s")
        time.sleep(0.1)


def listing(*path):
    return set(os.listdir(os.path.join(*path))) if os.path.isdir(os.path.join(*path)) else set()


# One server with its own state folder and spool, on the shared database.
class Node:

    def __init__(self, name, program, root, database, public_url):
        self.name, self.state = name, os.path.join(root, name)
        self.port, self.http = free_port(), free_port()
        # Behind HAProxy every client has HAProxy's address.
        self.command = [program, "--listen", f"127.0.0.1:{self.port}", "--http",
                        f"127.0.0.1:{self.http}", "--state", self.state, "--database", database,
                        "--public-url", public_url, "--log-level", "debug",
                        "--max-sessions-per-ip", "1000", "--max-messages-per-ip", "1000000",
                        "--max-messages-per-sender", "1000000"]
        self.process = None

    def start(self):
        self.process = subprocess.Popen(self.command, stdout=subprocess.DEVNULL,
                                        stderr=open(self.state + ".log", "a"))
        wait_for(f"{self.name} healthy", self.healthy)

    def healthy(self):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.http}/healthz", timeout=1) as r:
                return r.status == 200
        except OSError:
            return False

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=20)

    def outbox(self):
        return listing(self.state, "outbox", "new")

    def held(self):
        return listing(self.state, "held", "new")

    def composing(self):
        return len(listing(self.state, "accepted", "new"))


def psql(uri, sql):
    return subprocess.run(["psql", "-X", "-A", "-t", "-F", "\t", uri, "-c", sql], check=True,
                          capture_output=True, text=True).stdout.splitlines()


def load(program, port, *arguments):
    report = subprocess.run([program, "--server", f"127.0.0.1:{port}", *map(str, arguments)],
                            capture_output=True, text=True).stdout
    found = re.search(r"accepted (\d+) of (\d+)", report)
    return (int(found[1]), int(found[2])) if found else (0, 0)


def haproxy_config(path, port, http, nodes):
    checked = "  option httpchk GET /healthz\n  default-server inter 300ms fall 2 rise 2\n"
    transfer = "".join(f"  server {n.name} 127.0.0.1:{n.port} check port {n.http}\n"
                       for n in nodes)
    pages = "".join(f"  server {n.name} 127.0.0.1:{n.http} check\n" for n in nodes)
    with open(path, "w") as config:
        config.write(f"""global
  maxconn 4000
defaults
  mode tcp
  timeout connect 2s
  timeout client 120s
  timeout server 120s
  retries 3
  option redispatch
frontend transfer
  bind 127.0.0.1:{port}
  default_backend servers
backend servers
  balance roundrobin
{checked}{transfer}frontend pages
  bind 127.0.0.1:{http}
  default_backend pages
backend pages
{checked}{pages}""")


# A link mailed by a, confirmed through b: the message held on a goes out once.
def confirm_across_servers(a, b, load_program, uri):
    sent = load(load_program, a.port, "--clients", 1, "--sender", "ann@example.org", "--tag", "held")
    assert sent == (1, 1), sent
    wait_for("a's held message and link", lambda: a.held() and a.composing() == 0)
    links = set()
    for name in a.outbox():
        with open(os.path.join(a.state, "outbox", "new", name), errors="replace") as mail:
            text = mail.read()
        if "To: ann@example.org" in text:
            links |= set(re.findall(r"/sender/confirm/([0-9a-f]{16,})", text))
    assert len(links) == 1, links
    request = urllib.request.Request(f"http://127.0.0.1:{b.http}/sender/confirm/{links.pop()}",
                                     data=b"", method="POST")
    with urllib.request.urlopen(request, timeout=10) as reply:
        page = reply.read().decode()
    assert "on its way" in page, page
    held = [n for n in a.held() if "held 0-0" in
            open(os.path.join(a.state, "held", "new", n), errors="replace").read()]
    assert len(held) == 1, held
    wait_for("a releasing the held message", lambda: held[0] not in a.held())
    assert held[0] in a.outbox() and held[0] not in b.outbox()
    assert psql(uri, f"SELECT state FROM messages WHERE file = '{held[0]}'") == ["new"]


# Load through HAProxy; a is killed half-way and started again.
def kill_mid_load(a, b, load_program, uri, front, root):
    answered = os.path.join(root, "answered")
    clients, each = 20, 15
    running = subprocess.Popen(
        [load_program, "--server", f"127.0.0.1:{front}", "--clients", str(clients),
         "--messages", str(each), "--sender", "ann@example.org", "--tag", "load",
         "--answered", answered, "--timeout", "30"], stdout=subprocess.DEVNULL)
    wait_for("a third of the load answered", lambda: os.path.exists(answered) and
             len(open(answered).read().splitlines()) >= clients * each // 3)
    a.process.send_signal(signal.SIGKILL)
    a.process.wait()
    running.wait()
    wait_for("haproxy marking a down", lambda: not a.healthy(), 10)
    time.sleep(1.5)
    survivor = load(load_program, front, "--clients", 5, "--messages", 4, "--sender",
                    "ann@example.org", "--tag", "after")
    assert survivor == (20, 20), f"after the kill: {survivor}"
    a.start()
    subjects = set(open(answered).read().splitlines())
    wait_for("every accepted e-mail composed", lambda: a.composing() + b.composing() == 0)
    counts = {}
    for line in psql(uri, "SELECT subject, count(*), min(file) FROM messages "
                          "WHERE kind = 'voice' GROUP BY subject"):
        subject, count, file = line.split("\t")
        counts[subject] = (int(count), file)
    outboxes = a.outbox() | b.outbox()
    twice = [s for s, (n, _) in counts.items() if n != 1]
    lost = [s for s in subjects if s not in counts]
    undelivered = [s for s in subjects if s in counts and counts[s][1] not in outboxes]
    assert not twice, f"accepted more than once: {twice[:5]}"
    assert not lost, f"acknowledged but not in the catalogue: {lost[:5]}"
    assert not undelivered, f"acknowledged but not delivered: {undelivered[:5]}"
    print(f"{len(subjects)} acknowledged of {clients * each}, each delivered once")


def main():
    server, load_program = sys.argv[1], sys.argv[2]
    if shutil.which("haproxy") is None:
        print("SKIP: haproxy is not installed (scripts/install-deps)")
        return 77
    root = tempfile.mkdtemp(prefix="murmelpost-scale-")
    cluster = os.path.join(root, "postgres")
    started = subprocess.run([PRIVATE_POSTGRES, "start", cluster], capture_output=True, text=True)
    if started.returncode != 0:
        print("SKIP: PostgreSQL cannot start here:", started.stderr.strip())
        shutil.rmtree(root, ignore_errors=True)
        return 77
    uri = started.stdout.strip()
    front, front_http = free_port(), free_port()
    nodes = [Node(n, server, root, uri, f"http://127.0.0.1:{front_http}") for n in ("a", "b")]
    proxy = None
    try:
        for node in nodes:
            node.start()
        config = os.path.join(root, "haproxy.cfg")
        haproxy_config(config, front, front_http, nodes)
        proxy = subprocess.Popen(["haproxy", "-f", config, "-db"], stdout=subprocess.DEVNULL,
                                 stderr=open(os.path.join(root, "haproxy.log"), "w"))
        wait_for("haproxy listening", lambda: load(load_program, front, "--clients", 1, "--sender",
                                                   "probe@example.org", "--tag", "probe")[0] == 1)
        confirm_across_servers(*nodes, load_program, uri)
        kill_mid_load(*nodes, load_program, uri, front, root)
        print("PASS")
        return 0
    except AssertionError:
        for node in nodes:
            with open(node.state + ".log", errors="replace") as log:
                print(f"--- {node.name}'s log, last lines:\n" + "".join(log.readlines()[-15:]))
        raise
    finally:
        if proxy:
            proxy.terminate()
            proxy.wait()
        for node in nodes:
            node.stop()
        subprocess.run([PRIVATE_POSTGRES, "stop", cluster])
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
