#!/usr/bin/env python3
# Contrast of the time and percentage display's text against its background, read from
# screenshots of the main window (docs/screenshots by default), as WCAG 2 defines it.
#
#     bench/display_contrast.py [PNG ...]
#
# Prints one line per screenshot and exits 1 when any is below 4.5 : 1.
import collections
import pathlib
import struct
import sys
import zlib

# The display on the emulated screen: the main window's client area at (0, 26), the
# button panel at (7, 35) in it, the display at (167, 55) in the panel, 36 x 14.
DISPLAY = (0 + 7 + 167, 26 + 35 + 55, 36, 14)
# Pixels kept clear of the sunken edge and of a one-pixel window border.
INSET = 3
SHOTS = ["main-recording.png", "main-sending.png", "main-low-colour.png"]


def paeth(left, up, corner):
    p = left + up - corner
    return min((abs(p - left), 0, left), (abs(p - up), 1, up), (abs(p - corner), 2, corner))[2]


def read_png(path):
    """Rows of (r, g, b) of an 8-bit RGB or RGBA PNG without interlacing."""
    data = pathlib.Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(
                ">IIBBBBB", data[pos + 8:pos + 21])
        elif kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{path}: only 8-bit RGB(A) without interlacing is read")
    step = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        at = y * (stride + 1)
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            corner = previous[i - step] if i >= step else 0
            up = previous[i]
            line[i] = (line[i] + (0, left, up, (left + up) // 2,
                                  paeth(left, up, corner) if kind == 4 else 0)[kind]) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return rows


def luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    hi, lo = sorted((luminance(a), luminance(b)), reverse=True)
    return (hi + 0.05) / (lo + 0.05)


def display_contrast(path):
    """Background: the display's commonest colour. Text: the contrast that at least four
    pixels reach, so that single anti-aliasing pixels do not count."""
    rows = read_png(path)
    x, y, w, h = DISPLAY
    pixels = [rows[j][i] for j in range(y + INSET, y + h - INSET)
              for i in range(x + INSET, x + w - INSET)]
    background = collections.Counter(pixels).most_common(1)[0][0]
    ranked = sorted(pixels, key=lambda c: contrast(c, background), reverse=True)
    text = ranked[3]
    return background, text, contrast(background, text)


def main(paths):
    if not paths:
        folder = pathlib.Path(__file__).resolve().parent.parent / "docs" / "screenshots"
        paths = [folder / name for name in SHOTS]
    worst = None
    for path in paths:
        background, text, ratio = display_contrast(path)
        print(f"{pathlib.Path(path).name}: text {text} on {background}: {ratio:.2f} : 1")
        worst = ratio if worst is None else min(worst, ratio)
    return 0 if worst is not None and worst >= 4.5 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
