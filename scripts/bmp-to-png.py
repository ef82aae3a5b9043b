#!/usr/bin/env python3
"""bmp-to-png.py IN.bmp OUT.png: turns the 24-bit bottom-up BMP that
tests/tools/screenshot.exe writes into a PNG, with the standard library only."""
import struct
import sys
import zlib


def bmp_rows(data):
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        sys.exit("only 24-bit BMP files are read")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    if height > 0:
        rows.reverse()
    return width, abs(height), rows


def png(width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as source:
        width, height, rows = bmp_rows(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(png(width, height, rows))
