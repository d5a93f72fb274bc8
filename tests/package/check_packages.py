#!/usr/bin/env python3
# The Debian packages as a user meets them: lintian, contents, desktop entry, metainfo and
# service unit, then the unpacked programs run without a display, and the installed
# server takes one message from the installed sender and serves /healthz and /metrics.
# Usage: check_packages.py BUILD_DIR VERSION
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

ICONS = ["usr/share/icons/hicolor/%dx%d/apps/murmelpost.png" % (s, s)
         for s in (16, 32, 48, 64, 128, 256)]
EXPECTED = {
    "murmelpost": ["usr/share/applications/murmelpost.desktop",
                   "usr/share/metainfo/org.murmelpost.murmelpost.metainfo.xml"] + ICONS,
    "murmelpost-server": ["lib/systemd/system/murmelpost-server.service",
                          "etc/murmelpost/server.conf"],
    "murmelpost-send": [],
}
for name in EXPECTED:  # what every package holds
    EXPECTED[name] += ["usr/bin/" + name, "usr/share/man/man1/%s.1.gz" % name,
                       "usr/share/doc/%s/copyright" % name,
                       "usr/share/doc/%s/changelog.Debian.gz" % name,
                       "usr/share/lintian/overrides/" + name]

SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*"'
                    r'(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*")*\})? (-?[0-9.e+]+|\+Inf|NaN)$')
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr)
    return condition


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def build_packages(build, out):
    made = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out])
    if made.returncode != 0:
        sys.exit("cpack failed:\n" + made.stdout + made.stderr)
    debs = {file.split("_")[0]: os.path.join(out, file) for file in os.listdir(out)
            if file.endswith(".deb")}
    check(sorted(debs) == sorted(EXPECTED), "packages built: %s" % sorted(debs))
    return debs


def check_contents(debs, root):
    for name, deb in debs.items():
        listing = run(["dpkg-deb", "-c", deb]).stdout.splitlines()
        files = sorted(line.split()[5][2:] for line in listing
                       if not line.startswith("d") and line.split()[5] != "./")
        check(files == sorted(EXPECTED[name]),
              "%s holds %s, expected %s" % (name, files, sorted(EXPECTED[name])))
        run(["dpkg", "-x", deb, root], check=True)
    lint = run(["lintian", "--fail-on", "error,warning", *debs.values()])
    check(lint.returncode == 0, "lintian:\n" + lint.stdout)


def check_desktop_files(root):
    desktop = run(["desktop-file-validate",
                   root + "/usr/share/applications/murmelpost.desktop"])
    check(desktop.returncode == 0 and not desktop.stdout.strip(),
          "desktop-file-validate: " + desktop.stdout)
    metainfo = run(["appstreamcli", "validate", "--no-net",
                    root + "/usr/share/metainfo/org.murmelpost.murmelpost.metainfo.xml"])
    check(metainfo.returncode == 0, "appstreamcli validate: " + metainfo.stdout)
    # The unit needs the system's standard targets beside it.
    for target in os.listdir("/lib/systemd/system"):
        if target.endswith(".target") or target.endswith(".slice"):
            shutil.copy("/lib/systemd/system/" + target, root + "/lib/systemd/system/")
    unit = run(["systemd-analyze", "verify", "--man=no", "--root=" + root,
                "/lib/systemd/system/murmelpost-server.service"])
    check(unit.returncode == 0 and "murmelpost" not in unit.stderr,
          "systemd-analyze verify: " + unit.stderr)


def check_programs(root, version):
    # No display, no Qt platform: --help and --version must not need one.
    environment = {"PATH": "/usr/bin:/bin", "HOME": root}
    for program in EXPECTED:
        binary = root + "/usr/bin/" + program
        shown = run([binary, "--version"], env=environment)
        check(shown.returncode == 0 and shown.stdout == "%s %s\n" % (program, version),
              "%s --version: %d %r" % (program, shown.returncode, shown.stdout + shown.stderr))
        helped = run([binary, "--help"], env=environment)
        check(helped.returncode == 0 and helped.stdout.startswith("Usage:") and
              program in "".join(helped.stdout.splitlines()[:2]),
              "%s --help: %d %r" % (program, helped.returncode, helped.stderr))


def check_journal_lines(root, work):
    # Under the journal a line is its syslog level and the text: the journal adds the time.
    with tempfile.TemporaryFile("w+") as said:
        stream = os.fstat(said.fileno())
        failed = subprocess.run([root + "/usr/bin/murmelpost-server", "--config", work + "/none"],
                                stderr=said, env={"JOURNAL_STREAM": "%d:%d" % (stream.st_dev,
                                                                               stream.st_ino)})
        said.seek(0)
        line = said.read()
    check(failed.returncode == 2 and line.startswith("<3>cannot read %s/none" % work),
          "a start-up error under the journal: %r" % line)


def parse_prometheus(text):
    # Samples by name and labels; every line must be a comment or a well-formed sample,
    # and every sample's family must have been typed before it.
    typed, samples = {}, {}
    for line in text.splitlines():
        if line.startswith("# TYPE "):
            _, _, name, kind = line.split(" ", 3)
            check(name not in typed, "metric %s typed twice" % name)
            typed[name] = kind
            continue
        if line.startswith("# HELP "):
            continue
        match = SAMPLE.match(line)
        if not check(match is not None, "not a Prometheus sample: %r" % line):
            continue
        name = match.group(1)
        family = re.sub(r"_(bucket|sum|count)$", "", name)
        check(name in typed or typed.get(family) == "histogram", "untyped sample " + name)
        samples[name + (match.group(2) or "")] = float(match.group(4))
    return typed, samples


def check_histogram(samples, name, at_least):
    buckets = [(k, v) for k, v in samples.items() if k.startswith(name + "_bucket{")]
    counts = [v for _, v in buckets]
    check(counts == sorted(counts), name + " buckets are not cumulative")
    check(buckets and buckets[-1][0].endswith('le="+Inf"}') and
          counts[-1] == samples[name + "_count"], name + " +Inf differs from its count")
    check(samples[name + "_count"] >= at_least and samples[name + "_sum"] > 0,
          "%s observed %s" % (name, samples[name + "_count"]))


def check_running_server(root, work):
    config = os.path.join(work, "server.conf")
    with open(config, "w") as out:
        out.write("listen = 127.0.0.1:0\nhttp = 127.0.0.1:0\nno-sender-verification\n"
                  "mail-from = voice@service.example\n")
    # What the service manager gives the unit: a state folder and a socket for READY=1.
    state = os.path.join(work, "state")
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(os.path.join(work, "notify"))
    notify.settimeout(30)
    environment = dict(os.environ, STATE_DIRECTORY=state, NOTIFY_SOCKET=work + "/notify")
    server = subprocess.Popen([root + "/usr/bin/murmelpost-server", "--config", config],
                              stderr=subprocess.PIPE, text=True, env=environment)
    try:
        ports = {}
        for line in server.stderr:
            found = re.search(r"(listening on|http) port (\d+)(, outbox (.*))?", line)
            if found:
                ports[found.group(1)] = int(found.group(2))
            if found and found.group(4):
                check(found.group(4) == state + "/outbox", "outbox not in STATE_DIRECTORY")
            check(re.match(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (notice|info|warning) ",
                           line), "log line without time and level: " + line)
            if len(ports) == 2:
                break
        check(b"READY=1" in notify.recv(4096), "no READY=1 for the service manager")
        base = "http://127.0.0.1:%d" % ports["http"]
        with urllib.request.urlopen(base + "/healthz", timeout=10) as answer:
            check(answer.status == 200 and answer.read() == b"ok\n", "/healthz not ok")
        voice = os.path.join(work, "voice.wav")
        run(["sox", "-n", "-r", "8000", "-c", "1", "-b", "16", voice, "synth", "1", "sine", "440"],
            check=True)
        sent = run([root + "/usr/bin/murmelpost-send", "--server",
                    "127.0.0.1:%d" % ports["listening on"], "--from", "ann@example.org",
                    "--name", "Ann", "--to", "bob@example.org", "--subject", "Hi",
                    "--voice", voice], timeout=60)
        check(sent.returncode == 0, "murmelpost-send: " + sent.stderr)
        # The e-mail is composed a moment after the message was accepted.
        for _ in range(200):
            with urllib.request.urlopen(base + "/metrics", timeout=10) as answer:
                check(answer.headers["Content-Type"].startswith("text/plain; version=0.0.4"),
                      "/metrics content type " + answer.headers["Content-Type"])
                typed, samples = parse_prometheus(answer.read().decode())
            if samples.get("murmelpost_composing") == 0:
                break
            time.sleep(0.05)
        check(samples.get("murmelpost_messages_accepted_total") == 1, "accepted is not 1")
        check(samples.get("murmelpost_queue_depth") == 1, "queue depth is not 1")
        check(samples.get("murmelpost_sessions_open") == 0, "a session is still counted")
        check_histogram(samples, "murmelpost_acceptance_seconds", 1)
        check_histogram(samples, "murmelpost_fsync_seconds", 2)
        # A state folder gone from under the server: it could not store a message.
        os.rename(state, state + ".gone")
        try:
            urllib.request.urlopen(base + "/healthz", timeout=10)
            check(False, "/healthz ok without a state folder")
        except urllib.error.HTTPError as error:
            check(error.code == 503, "/healthz without a state folder: %d" % error.code)
        os.rename(state + ".gone", state)
    finally:
        server.send_signal(signal.SIGTERM)
        check(server.wait(timeout=30) == 0, "server did not stop cleanly")


def main():
    build, version = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "root")
        debs = build_packages(build, os.path.join(work, "packages"))
        check_contents(debs, root)
        check_desktop_files(root)
        check_programs(root, version)
        check_journal_lines(root, work)
        check_running_server(root, work)
    if failures:
        sys.exit("%d package checks failed" % len(failures))
    print("packages: all checks passed")


if __name__ == "__main__":
    main()
