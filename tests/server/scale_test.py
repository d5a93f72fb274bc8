#!/usr/bin/env python3
"""Two murmelpost-servers on one private PostgreSQL behind HAProxy in TCP mode, driven with
murmelpost-load: each message is accepted once in the shared catalogue, a confirmation link
mailed by one server works on the other, a per-sender limit holds across both, and after one server is killed mid-load every
acknowledged message is delivered once it is back while HAProxy sends new sessions to the
survivor. Exits 77 (skipped) only where PostgreSQL or HAProxy cannot start.
Usage: scale_test.py SERVER LOAD"""

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

HERE = os.path.dirname(os.path.abspath(__file__))
PRIVATE_POSTGRES = os.path.join(HERE, "..", "support", "private-postgres")
SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return
        time.sleep(0.1)
    raise AssertionError(f"{what} within {seconds} s")


class Node:
    """One server with its own state folder and spool, on the shared database."""

    def __init__(self, name, program, root, database, public_url):
        self.name, self.program, self.database = name, program, database
        self.state = os.path.join(root, name)
        self.port, self.http = free_port(), free_port()
        self.public_url = public_url
        self.process = None

    def start(self, per_sender=1000000):
        self.log = open(self.state + ".log", "a")
        self.process = subprocess.Popen(
            [self.program, "--listen", f"127.0.0.1:{self.port}", "--http",
             f"127.0.0.1:{self.http}", "--state", self.state, "--database", self.database,
             "--public-url", self.public_url, "--log-level", "debug",
             # Behind HAProxy every client has HAProxy's address.
             "--max-sessions-per-ip", "1000", "--max-messages-per-ip", "1000000",
             "--max-messages-per-sender", str(per_sender)],
            stdout=subprocess.DEVNULL, stderr=self.log)
        wait_for(f"{self.name} healthy", lambda: self.healthy())

    def healthy(self):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.http}/healthz", timeout=1) as r:
                return r.status == 200
        except OSError:
            return False

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=20)

    def outbox(self):
        folder = os.path.join(self.state, "outbox", "new")
        return set(os.listdir(folder)) if os.path.isdir(folder) else set()

    def held(self):
        return set(os.listdir(os.path.join(self.state, "held", "new")))

    def composing(self):
        return len(os.listdir(os.path.join(self.state, "accepted", "new")))


def psql(uri, sql):
    return subprocess.run(["psql", "-X", "-A", "-t", "-F", "\t", uri, "-c", sql], check=True,
                          capture_output=True, text=True).stdout.splitlines()


def load_report(program, port, *arguments):
    return subprocess.run([program, "--server", f"127.0.0.1:{port}", *map(str, arguments)],
                          capture_output=True, text=True).stdout


def accepted(report):
    found = re.search(r"accepted (\d+) of (\d+)", report)
    return (int(found[1]), int(found[2])) if found else (0, 0)


def load(program, port, *arguments):
    return accepted(load_report(program, port, *arguments))


def haproxy_config(path, port, http, nodes):
    transfer = "\n".join(f"  server {n.name} 127.0.0.1:{n.port} check port {n.http}"
                         for n in nodes)
    pages = "\n".join(f"  server {n.name} 127.0.0.1:{n.http} check" for n in nodes)
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
  option httpchk GET /healthz
  default-server inter 300ms fall 2 rise 2
{transfer}
frontend pages
  bind 127.0.0.1:{http}
  default_backend pages
backend pages
  option httpchk GET /healthz
  default-server inter 300ms fall 2 rise 2
{pages}
""")


def main():
    server, load_program = sys.argv[1], sys.argv[2]
    if shutil.which("haproxy") is None:
        print("SKIP: haproxy is not installed (scripts/install-deps)")
        return SKIP
    root = tempfile.mkdtemp(prefix="murmelpost-scale-")
    cluster = os.path.join(root, "postgres")
    started = subprocess.run([PRIVATE_POSTGRES, "start", cluster], capture_output=True, text=True)
    if started.returncode != 0:
        print("SKIP: PostgreSQL cannot start here:", started.stderr.strip())
        shutil.rmtree(root, ignore_errors=True)
        return SKIP
    uri = started.stdout.strip()
    front, front_http = free_port(), free_port()
    nodes = [Node(n, server, root, uri, f"http://127.0.0.1:{front_http}") for n in ("a", "b")]
    proxy = None
    try:
        for node in nodes:
            node.start()
        a, b = nodes
        config = os.path.join(root, "haproxy.cfg")
        haproxy_config(config, front, front_http, nodes)
        proxy = subprocess.Popen(["haproxy", "-f", config, "-db"], stdout=subprocess.DEVNULL,
                                 stderr=open(os.path.join(root, "haproxy.log"), "w"))
        wait_for("haproxy listening", lambda: load(load_program, front, "--clients", 1,
                                                   "--sender", "probe@example.org",
                                                   "--tag", "probe")[0] == 1)

        # A link mailed by a, confirmed through b: the message held on a goes out once.
        assert load(load_program, a.port, "--clients", 1, "--sender", "ann@example.org",
                    "--tag", "held") == (1, 1)
        wait_for("a's held message and link", lambda: a.held() and a.composing() == 0)
        links = set()
        for name in a.outbox():
            with open(os.path.join(a.state, "outbox", "new", name), errors="replace") as mail:
                text = mail.read()
            if "To: ann@example.org" in text:
                links |= set(re.findall(r"/sender/confirm/([0-9a-f]{16,})", text))
        assert len(links) == 1, links
        request = urllib.request.Request(f"http://127.0.0.1:{b.http}/sender/confirm/"
                                         f"{links.pop()}", data=b"", method="POST")
        with urllib.request.urlopen(request, timeout=10) as reply:
            page = reply.read().decode()
        assert "on its way" in page, page
        held = [n for n in a.held()
                if "held 0-0" in open(os.path.join(a.state, "held", "new", n), errors="replace").read()]
        assert len(held) == 1, held
        wait_for("a releasing the held message", lambda: held[0] not in a.held())
        assert held[0] in a.outbox() and held[0] not in b.outbox()
        assert psql(uri, f"SELECT state FROM messages WHERE file = '{held[0]}'") == ["new"]
        print("confirmation across servers: held on a, confirmed on b, delivered once")

        # Load through HAProxy; a is killed half-way and started again.
        answered = os.path.join(root, "answered")
        clients, each = 20, 15
        running = subprocess.Popen(
            [load_program, "--server", f"127.0.0.1:{front}", "--clients", str(clients),
             "--messages", str(each), "--sender", "ann@example.org", "--tag", "load",
             "--answered", answered, "--timeout", "30"],
            stdout=subprocess.PIPE, text=True)
        wait_for("half the load answered",
                 lambda: os.path.exists(answered) and
                 len(open(answered).read().splitlines()) >= clients * each // 3)
        a.kill()
        print("a killed mid-load")
        out = running.communicate()[0]
        wait_for("haproxy marking a down", lambda: not a.healthy(), 10)
        time.sleep(1.5)
        survivor = load(load_program, front, "--clients", 5, "--messages", 4, "--sender",
                        "ann@example.org", "--tag", "after")
        assert survivor == (20, 20), f"after the kill: {survivor}"
        print("new sessions after the kill: 20 of 20 accepted (by b)")
        a.start()
        subjects = set(open(answered).read().splitlines())
        print(f"answered {len(subjects)} of {clients * each}: {out.strip().splitlines()[-1]}")
        wait_for("every accepted e-mail composed", lambda: a.composing() + b.composing() == 0)
        rows = psql(uri, "SELECT subject, count(*), string_agg(file, ' ') FROM messages "
                         "WHERE kind = 'voice' GROUP BY subject")
        counts = {}
        for line in rows:
            subject, count, files = line.split("\t")
            counts[subject] = (int(count), files.split())
        outboxes = a.outbox() | b.outbox()
        twice = [s for s, (n, _) in counts.items() if n != 1]
        lost = [s for s in subjects if s not in counts]
        undelivered = [s for s in subjects if s in counts and counts[s][1][0] not in outboxes]
        assert not twice, f"accepted more than once: {twice[:5]}"
        assert not lost, f"acknowledged but not in the catalogue: {lost[:5]}"
        assert not undelivered, f"acknowledged but not delivered: {undelivered[:5]}"
        print(f"every acknowledged message delivered once; {len(counts)} voice rows in all")

        # A sender's hourly limit counts both servers: what a accepted, b refuses once the
        # counts went through the store (each server exchanges them every second).
        for node in nodes:
            node.stop()
            node.start(per_sender=10)
        cap = ("--sender", "cap@example.org", "--tag", "cap")

        def counted(total):
            wait_for(f"{total} counted in the store", lambda: psql(
                uri, "SELECT count FROM rate_counts WHERE kind = 'sender' "
                     "AND key = 'cap@example.org'") == [str(total)])
            time.sleep(3)  # several exchanges of each server

        assert load(load_program, a.port, "--clients", 1, "--messages", 8, *cap) == (8, 8)
        counted(8)
        on_b = load(load_program, b.port, "--clients", 1, "--messages", 5, *cap)
        assert on_b == (2, 5), f"b after a's 8 of 10: {on_b}"
        counted(10)
        through = load_report(load_program, front, "--clients", 2, "--messages", 3, *cap)
        assert accepted(through) == (0, 6) and "refused 6: \"SEND\"" in through, through
        print("per-sender limit across servers: 8 on a, then 2 of 5 on b, then none")
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
