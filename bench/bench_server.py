# A private murmelpost-server for the benchmark scripts: a temporary state folder, a free
# port, its log in a file (a full pipe would stall it), and its memory from /proc.

import os
import re
import resource
import shutil
import subprocess
import tempfile
import time


def raise_open_file_limit():
    # Children inherit it: the server and the load tool each hold thousands of sockets.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    return hard


class Server:
    def __init__(self, program, extra=(), parent=None, http=False):
        # http: serve the help pages on a free port too (self.http_port).
        self.state = tempfile.mkdtemp(prefix="murmelpost-bench-", dir=parent)
        self.log_path = os.path.join(self.state, "server.log")
        self.log = open(self.log_path, "w")
        pages = ["--http", "127.0.0.1:0"] if http else ["--no-http"]
        self.process = subprocess.Popen(
            [program, "--listen", "127.0.0.1:0", "--state", self.state, *pages,
             "--no-sender-verification", *extra],
            stdout=subprocess.DEVNULL, stderr=self.log)
        self.port = self.http_port = None
        deadline = time.monotonic() + 30
        while self.port is None or (http and self.http_port is None):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the server did not start:\n" + self.log_text())
            log = self.log_text()
            if found := re.search(r"listening on port (\d+)", log):
                self.port = int(found.group(1))
            if found := re.search(r"http port (\d+)", log):
                self.http_port = int(found.group(1))
            time.sleep(0.05)

    def log_text(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def memory_kib(self, field):
        # VmRSS (now) or VmHWM (peak) of the server process, in KiB.
        with open(f"/proc/{self.process.pid}/status") as status:
            found = re.search(rf"^{field}:\s+(\d+)", status.read(), re.MULTILINE)
        return int(found[1]) if found else 0

    def stop(self, keep=False):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()
        if not keep:
            shutil.rmtree(self.state, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
