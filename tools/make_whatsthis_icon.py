#!/usr/bin/env python3
"""Draws the 16 x 16 What's This icon of the import dialog: a white question
mark on a round blue badge, antialiased by 4 x 4 supersampling. Standard
library only; run once and commit the PNG:

    tools/make_whatsthis_icon.py dialogs/resources/images/icons/whatsthissmallicon.png
"""
import struct
import sys
import zlib

SIZE = 16
SAMPLES = 4

# The question mark on a 16 x 16 grid: '#' is ink.
GLYPH = [
    "................",
    "................",
    "................",
    "......####......",
    ".....##..##.....",
    ".........##.....",
    "........##......",
    ".......##.......",
    ".......##.......",
    "................",
    ".......##.......",
    ".......##.......",
    "................",
    "................",
    "................",
    "................",
]

BADGE = (38, 98, 184)     # blue
RIM = (20, 60, 128)       # darker edge
INK = (255, 255, 255)


def coverage(px, py, inside):
    hits = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            hits += inside(x, y)
    return hits / (SAMPLES * SAMPLES)


def in_circle(radius):
    c = SIZE / 2
    return lambda x, y: (x - c) ** 2 + (y - c) ** 2 <= radius ** 2


def pixel(px, py):
    outer = coverage(px, py, in_circle(7.5))
    inner = coverage(px, py, in_circle(6.5))
    if outer == 0:
        return (0, 0, 0, 0)
    colour = [RIM[i] + (BADGE[i] - RIM[i]) * (inner / outer) for i in range(3)]
    if GLYPH[py][px] == '#':
        colour = list(INK)
    return (round(colour[0]), round(colour[1]), round(colour[2]), round(255 * outer))


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_whatsthis_icon.py OUTPUT.png")
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(sys.argv[1], "wb") as out:
        out.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
