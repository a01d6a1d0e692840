#!/usr/bin/env python3
"""Draws the window icon: a small black .nfo sheet with a folded corner, the
letters NFO in green and a band of block art below them.

Writes app/icons/lumeskar-16.png, -32.png, -48.png and -64.png (the larger
two are the small ones enlarged pixel for pixel). The 32 px letters come from
the program's own font (glyphs.txt); the 16 px sheet has room only for 3x5
letters, drawn here. Standard library only.

    make_icons.py            write the PNGs
    make_icons.py --check    exit 1 when a committed PNG is out of date
"""
import argparse
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # keep the source tree clean when run by the tests
import make_bdf  # noqa: E402

ICON_DIR = os.path.join(make_bdf.ROOT, "app", "icons")

CLEAR = (0, 0, 0, 0)
BLACK = (0, 0, 0, 255)
SILVER = (0xC0, 0xC0, 0xC0, 255)
GREY = (0x60, 0x60, 0x60, 255)
GREEN = (0x00, 0xFF, 0x00, 255)
DARK_GREEN = (0x00, 0x80, 0x00, 255)

SMALL_LETTERS = {
    "N": ["##.", "#.#", "#.#", "#.#", "#.#"],
    "F": ["###", "#..", "##.", "#..", "#.."],
    "O": ["###", "#.#", "#.#", "#.#", "###"],
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def set(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, colour)

    def bitmap(self, x0, y0, rows, colour):
        for dy, row in enumerate(rows):
            for dx, on in enumerate(row):
                if on in (True, "#"):
                    self.set(x0 + dx, y0 + dy, colour)

    def enlarged(self, factor):
        big = Canvas(self.size * factor)
        for y in range(big.size):
            for x in range(big.size):
                big.px[y][x] = self.px[y // factor][x // factor]
        return big


def sheet(c, x0, y0, x1, y1, fold):
    """A black sheet with a silver edge whose top right corner is folded over."""
    c.rect(x0, y0, x1, y1, BLACK)
    for x in range(x0, x1 + 1):
        c.set(x, y0, SILVER)
        c.set(x, y1, SILVER)
    for y in range(y0, y1 + 1):
        c.set(x0, y, SILVER)
        c.set(x1, y, SILVER)
    # Cut the corner off and draw the flap below the diagonal.
    for i in range(fold + 1):
        for j in range(fold + 1 - i):
            c.set(x1 - j, y0 + i, CLEAR)
    for i in range(fold + 1):
        c.set(x1 - fold + i, y0 + i, SILVER)        # the fold line
        for x in range(x1 - fold, x1 - fold + i):    # the flap
            c.set(x, y0 + i, GREY)
        c.set(x1 - fold, y0 + i, SILVER)
    for x in range(x1 - fold, x1 + 1):
        c.set(x, y0 + fold, SILVER)


def shade(c, x0, y0, x1, y1, colour, lit):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if lit(x, y):
                c.set(x, y, colour)


def icon_32():
    c = Canvas(32)
    sheet(c, 3, 1, 28, 30, 6)
    glyphs = {cp: rows for _, cp, rows in make_bdf.parse_glyphs()}
    for i, letter in enumerate("NFO"):
        c.bitmap(5 + 6 * i, 5, glyphs[ord(letter)][:7], GREEN)
    # Block art: a stepped bar fading into shade, over a silver dither.
    shade(c, 5, 14, 26, 15, SILVER, make_bdf.light_shade)
    c.rect(5, 16, 26, 19, GREEN)
    c.rect(5, 20, 20, 21, GREEN)
    shade(c, 21, 20, 26, 21, DARK_GREEN, make_bdf.medium_shade)
    c.rect(5, 22, 14, 23, GREEN)
    shade(c, 15, 22, 26, 23, DARK_GREEN, make_bdf.medium_shade)
    shade(c, 5, 24, 26, 27, SILVER, make_bdf.medium_shade)
    return c


def icon_16():
    c = Canvas(16)
    sheet(c, 1, 0, 15, 15, 3)
    for i, letter in enumerate("NFO"):
        c.bitmap(3 + 4 * i, 5, SMALL_LETTERS[letter], GREEN)
    c.rect(3, 11, 13, 11, GREEN)
    shade(c, 3, 12, 13, 12, DARK_GREEN, make_bdf.medium_shade)
    shade(c, 3, 13, 13, 13, SILVER, make_bdf.medium_shade)
    return c


def png_bytes(c):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in c.px)
    header = struct.pack(">IIBBBBB", c.size, c.size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icons():
    small, large = icon_16(), icon_32()
    return {16: small, 32: large, 48: small.enlarged(3), 64: large.enlarged(2)}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true", help="compare with the committed PNGs")
    args = ap.parse_args()
    stale = []
    for size, canvas in icons().items():
        path = os.path.join(ICON_DIR, f"lumeskar-{size}.png")
        data = png_bytes(canvas)
        if args.check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(path)
            except OSError:
                stale.append(path)
            continue
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
        print(f"wrote {path}")
    if stale:
        print("make_icons: out of date: " + " ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
