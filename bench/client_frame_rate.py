#!/usr/bin/env python3
"""The client's frames per second against the network's own: murmelpost-send sends a 64 s
voice message to a private murmelpost-server on loopback, and its rate is the frames of
that connection (from the server's log) over the time from its first to its last
'progress' line; raw_frame_loop sends the same frames with bare sockets in the same run
(three sends and a two-read reply per frame, the peer quick-acking). The ratio is the
share of the frame rate that the client's own code leaves to the network. The same
murmelpost-send against raw_frame_peer (bare sockets answering "TROK") splits what is
left between the client and the server.

Usage: bench/client_frame_rate.py [--build build/default] [--runs 15]
                                  [--send PROGRAM] [--server PROGRAM]
--send/--server measure other builds (e.g. copies from before a change) in the same run.
"""

import argparse
import json
import math
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import wave

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_server import Server  # noqa: E402


def write_voice(path, seconds=64, rate=8000):
    """A tone with a little noise: speech-like enough for the GSM encoder."""
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(
            struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / rate)
                                  + ((i * 7919) % 4001) - 2000))
            for i in range(seconds * rate)))


def timed_send(send, port, voice):
    """Seconds from the first to the last progress line, read as they arrive."""
    process = subprocess.Popen(
        [send, "--server", f"127.0.0.1:{port}", "--from", "bench@example.com", "--name",
         "Bench", "--to", "sink@example.com", "--subject", "frame rate", "--voice", voice],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    pending, times = b"", []
    while chunk := os.read(process.stderr.fileno(), 65536):
        now = time.perf_counter()
        pending += chunk
        *lines, pending = pending.split(b"\n")
        times += [now for line in lines if line.startswith(b"progress")]
    if process.wait() != 0 or len(times) < 2:
        raise RuntimeError("murmelpost-send failed")
    return times[-1] - times[0]


def client_rate(send, server_program, voice, runs):
    with Server(server_program) as server:
        seconds = [timed_send(send, server.port, voice) for _ in range(runs)]
        frames = [int(f) for f in re.findall(r"accepted .*\((\d+) frames", server.log_text())]
    if len(frames) != runs:
        raise RuntimeError("the server did not accept every message:\n" + server.log_text())
    rates = sorted(f / s for f, s in zip(frames, seconds))
    return frames[0], statistics.median(seconds), statistics.median(rates), rates[-1]


def bare_peer_rate(send, peer_program, voice, runs, frames):
    """murmelpost-send against a peer that costs nothing but its socket calls."""
    peer = subprocess.Popen([peer_program], stdout=subprocess.PIPE, text=True)
    try:
        port = int(peer.stdout.readline().split()[1])
        rates = sorted(frames / timed_send(send, port, voice) for _ in range(runs))
    finally:
        peer.kill()
        peer.wait()
    return statistics.median(rates), rates[-1]


def raw_rate(program, frames, payload):
    out = subprocess.run(
        [program, f"--benchmark_filter=BM_RawFrameLoop/{frames}/{payload}/",
         "--benchmark_format=json", "--benchmark_min_time=1"],
        capture_output=True, text=True, check=True).stdout
    return json.loads(out)["benchmarks"][0]["frames_per_second"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--send", help="murmelpost-send to measure (default: the build's)")
    parser.add_argument("--server", help="murmelpost-server to send to (default: the build's)")
    args = parser.parse_args()
    send = args.send or os.path.join(args.build, "tools/murmelpost-send")
    server_program = args.server or os.path.join(args.build, "server/murmelpost-server")
    raw = os.path.join(args.build, "bench/raw_frame_loop")
    with tempfile.TemporaryDirectory() as folder:
        voice = os.path.join(folder, "voice64.wav")
        write_voice(voice)
        raw_before = raw_rate(raw, 207, 524)
        frames, seconds, median, best = client_rate(send, server_program, voice, args.runs)
        bare_median, bare_best = bare_peer_rate(
            send, os.path.join(args.build, "bench/raw_frame_peer"), voice, args.runs, frames)
        raw_after = raw_rate(raw, 207, 524)
    reference = (raw_before + raw_after) / 2
    print(f"murmelpost-send: {send}\nserver:          {server_program}")
    print(f"64 s voice message: {frames} frames, first to last progress line median "
          f"{seconds * 1000:.1f} ms over {args.runs} runs")
    print(f"client   {median:8.0f} frames/s median, {best:8.0f} best (to the server)")
    print(f"client   {bare_median:8.0f} frames/s median, {bare_best:8.0f} best (to raw_frame_peer)")
    print(f"raw loop {reference:8.0f} frames/s ({raw_before:.0f} before, {raw_after:.0f} after)")
    print(f"ratio    {median / reference:8.2f} median, {best / reference:8.2f} best")


if __name__ == "__main__":
    main()
