#!/usr/bin/env python3
# Prints the fewest distinct colours among the PNG files given, decoding each with no
# library beyond zlib: a chunk with a wrong CRC or pixels that do not inflate fail it.
# Usage: png_colours.py PNG...
import struct
import sys
import zlib


# The number of distinct pixels in an 8-bit RGB(A) PNG without interlacing; raises
# on a broken file.
def png_colours(path):
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


if __name__ == "__main__":
    print(min(png_colours(path) for path in sys.argv[1:]))
