#!/usr/bin/env python3
# The client's frames per second against the network's own: murmelpost-send's 64 s voice
# message to a private server on loopback (frames from the server's log over the time
# from the first to the last 'progress' line) beside raw_frame_loop's bare sockets
# sending the same frames in the same run.
# Usage: bench/client_frame_rate.py [--build build/default] [--runs 15]
#                                   [--send PROGRAM] [--server PROGRAM]

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_server import Server  # noqa: E402


def timed_send(send, port, voice):
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


def main():
    parser = argparse.ArgumentParser(description="The client's frames per second")
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--send", help="another murmelpost-send build to measure")
    parser.add_argument("--server", help="murmelpost-server to send to (default: the build's)")
    args = parser.parse_args()
    send = args.send or os.path.join(args.build, "tools/murmelpost-send")
    server_program = args.server or os.path.join(args.build, "server/murmelpost-server")
    loop = os.path.join(args.build, "bench/raw_frame_loop")

    def raw():  # the 64 s message's frames: 207 of 524 bytes
        return float(subprocess.run([loop, "207", "524"], capture_output=True,
                                    text=True, check=True).stdout.split()[0])

    with tempfile.TemporaryDirectory() as folder:
        voice = os.path.join(folder, "voice64.wav")
        # The GSM encoder costs the same for any sound; the length sets the frames.
        subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", "-b", "16", voice, "synth", "64",
                        "sine", "440"], check=True)
        raw_before = raw()
        with Server(server_program) as server:
            seconds = [timed_send(send, server.port, voice) for _ in range(args.runs)]
            counted = re.findall(r"accepted .*\((\d+) frames", server.log_text())
            if len(counted) != args.runs:
                raise RuntimeError("the server did not accept every message:\n" + server.log_text())
        frames = int(counted[0])
        raw_after = raw()
    reference = (raw_before + raw_after) / 2
    ranked = sorted(frames / s for s in seconds)
    median, best = statistics.median(ranked), ranked[-1]
    print(f"murmelpost-send: {send}\nserver:          {server_program}")
    print(f"64 s voice message: {frames} frames, first to last progress line median "
          f"{statistics.median(seconds) * 1000:.1f} ms over {args.runs} runs")
    print(f"client   {median:8.0f} frames/s median, {best:8.0f} best")
    print(f"raw loop {reference:8.0f} frames/s ({raw_before:.0f} before, {raw_after:.0f} after)")
    print(f"ratio    {median / reference:8.2f} median, {best / reference:8.2f} best")


if __name__ == "__main__":
    main()
