#!/usr/bin/env python3
# murmelpost-send to a running murmelpost-server, end to end.
# Speech (espeak-ng) goes with a text to two recipients; the e-mail in the server's outbox
# is parsed and its voice.wav decoded with sox. GSM keeps the speech's envelope, not its
# waveform: the log energy of every 20 ms frame must correlate with the 8 kHz reference
# (chunks out of order or corrupted bits fall below 0.1 and differ by over 12 dB).
# Usage: send_end_to_end.py SENDER SERVER
import email
import email.policy
import math
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from array import array

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from bench_server import Server  # noqa: E402

ENVELOPE_MIN_CORRELATION = 0.95
ENVELOPE_MAX_DB_DIFFERENCE = 3.0
FRAME = 160  # 20 ms at 8 kHz
CHUNK_SAMPLES = 2560
SPEECH = ("Hello Bob. This is a spoken message from the command line sender. "
          "It travels as GSM to the transfer server and arrives as e-mail.")


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def expect(actual, expected, what):
    if actual != expected:
        fail("%s is %r, expected %r" % (what, actual, expected))


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs)


def raw_8k(path):
    out = run(["sox", path, "-t", "raw", "-e", "signed", "-b", "16",
               "-c", "1", "-r", "8000", "-"]).stdout
    return array("h", out)  # sox writes raw samples in the host's byte order


def envelope(samples, frames):
    levels = []
    for i in range(frames):
        block = samples[i * FRAME:(i + 1) * FRAME]
        energy = sum(s * s for s in block) / FRAME if block else 0.0
        levels.append(10 * math.log10(energy + 1.0))
    return levels


def compare(reference, decoded):
    # (correlation, mean absolute dB difference) of the envelopes over voiced frames.
    frames = len(reference) // FRAME
    a, b = envelope(reference, frames), envelope(decoded, frames)
    # Frames of near-silence in the reference carry no speech to compare.
    voiced = [i for i in range(frames) if a[i] > 40.0]
    if len(voiced) < 20:
        fail("the reference has only %d voiced frames" % len(voiced))
    xa, xb = [a[i] for i in voiced], [b[i] for i in voiced]
    try:
        correlation = statistics.correlation(xa, xb)
    except statistics.StatisticsError:  # a constant envelope: nothing of the speech is left
        correlation = 0.0
    return correlation, sum(abs(x - y) for x, y in zip(xa, xb)) / len(xa)


def main():
    sender, server_program = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="murmelpost-e2e-") as work:
        speech = os.path.join(work, "speech.wav")
        run(["espeak-ng", "-w", speech, SPEECH])
        # Both voice formats: the GSM one is what the client sent, compared here with the speech.
        server = Server(server_program, ["--mail-from", "mp@service.example", "--voice-format",
                                         "both"], parent=work)
        try:
            sent = subprocess.run(
                [sender, "--server", "127.0.0.1:%d" % server.port, "--from", "ann@example.org",
                 "--name", "Ann Example", "--to", " bob@example.org; carol@example.org ",
                 "--subject", "Voice test", "--text", "Hello Bob", "--voice", speech],
                capture_output=True, text=True, timeout=60)
            outbox = re.search(r"outbox (.*)", server.log_text()).group(1)
            # "TROK" means accepted; the e-mail is composed from it a moment later.
            new = os.path.join(outbox, "new")
            accepted = os.path.join(outbox, "..", "accepted", "new")
            for _ in range(2000):
                if os.listdir(new) and not os.listdir(accepted):
                    break
                time.sleep(0.01)
        finally:
            server.stop(keep=True)
        expect(sent.returncode, 0, "murmelpost-send's exit status (%s)" % sent.stderr)

        mails = [os.path.join(outbox, "new", n) for n in os.listdir(os.path.join(outbox, "new"))]
        mails = [m for m in mails if "bob@example.org" in open(m, "rb").read().decode("latin-1")]
        expect(len(mails), 1, "the number of e-mails to bob in " + outbox)
        with open(mails[0], "rb") as f:
            message = email.message_from_binary_file(f, policy=email.policy.default)
        voices = [p for p in message.iter_attachments() if p.get_filename() == "voice.wav"]
        expect(len(voices), 1, "the number of voice.wav attachments")
        wav = voices[0].get_content()

        expect((wav[:4], wav[8:16]), (b"RIFF", b"WAVEfmt "), "voice.wav's RIFF WAVE header")
        expect(struct.unpack("<HHIIH", wav[20:34]), (49, 1, 8000, 1625, 65), "voice.wav's format")
        voice = os.path.join(work, "voice.wav")
        with open(voice, "wb") as f:
            f.write(wav)
        reference, decoded = raw_8k(speech), raw_8k(voice)
        chunks = (len(reference) + CHUNK_SAMPLES - 1) // CHUNK_SAMPLES
        if abs(len(decoded) - chunks * CHUNK_SAMPLES) > CHUNK_SAMPLES:
            fail("decoded %d samples for %d of speech" % (len(decoded), len(reference)))
        measure = compare(reference, decoded)
        print("envelope correlation %.3f (at least %.2f), mean level difference %.2f dB "
              "(at most %.1f)" % (measure[0], ENVELOPE_MIN_CORRELATION, measure[1],
                                  ENVELOPE_MAX_DB_DIFFERENCE))
        if measure[0] < ENVELOPE_MIN_CORRELATION or measure[1] > ENVELOPE_MAX_DB_DIFFERENCE:
            fail("the voice does not match the speech")
    print("PASS")


if __name__ == "__main__":
    main()
