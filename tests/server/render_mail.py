#!/usr/bin/env python3
"""Renders the HTML part of one e-mail in headless Chromium, once with its inline picture
(the cid: link made a data: URL) and once with images blocked, to OUT_DIR/mail-html.png
and OUT_DIR/mail-html-images-blocked.png. Exit 0 when both screenshots were taken and
show more than a blank page; 77 when there is no Chromium.

Usage: render_mail.py MAIL OUT_DIR
"""
import base64
import email
import email.policy
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib


def png_colours(path):
    """The number of distinct pixels in an 8-bit RGB(A) PNG without interlacing; raises
    on a broken file."""
    data = open(path, "rb").read()
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert crc == zlib.crc32(data[at + 4:at + 8 + length]), f"{kind} CRC"
        header = body if kind == b"IHDR" else header
        idat += body if kind == b"IDAT" else b""
        at += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", header[:10])
    channels = {2: 3, 6: 4}[colour]
    assert depth == 8, "8-bit PNG expected"
    raw, stride, rows = zlib.decompress(idat), width * channels, []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            p = a + b - c
            paeth = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else \
                b if abs(p - b) <= abs(p - c) else c
            line[i] = (line[i] + (0, a, b, (a + b) // 2, paeth)[kind]) & 0xFF
        rows.append(bytes(line))
        previous = line
    return len({row[i:i + channels] for row in rows for i in range(0, stride, channels)})


def main(mail, out_dir):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("no chromium: not rendered")
        return 77
    msg = email.message_from_binary_file(open(mail, "rb"), policy=email.policy.default)
    html = msg.get_body(preferencelist=("html",)).get_content()
    blocked = html
    for part in msg.walk():
        if part["Content-ID"]:
            cid = "cid:" + part["Content-ID"].strip("<>")
            data = base64.b64encode(part.get_content()).decode()
            html = html.replace(cid, f"data:{part.get_content_type()};base64,{data}")
            blocked = blocked.replace(cid, "blocked:")
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        for name, page in (("mail-html", html), ("mail-html-images-blocked", blocked)):
            page_file = os.path.join(profile, name + ".html")
            open(page_file, "w", encoding="utf-8").write(page)
            shot = os.path.join(out_dir, name + ".png")
            run = subprocess.run([chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
                                  "--user-data-dir=" + profile, "--hide-scrollbars",
                                  "--window-size=480,640", "--screenshot=" + shot,
                                  "file://" + page_file], capture_output=True, timeout=120)
            if run.returncode != 0 or not os.path.exists(shot):
                print(f"{name}: chromium exit {run.returncode}: {run.stderr.decode()[-500:]}")
                return 1
            colours = png_colours(shot)
            print(f"{name}: {colours} colours")
            if colours < 16:
                return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
