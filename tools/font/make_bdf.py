#!/usr/bin/env python3
"""Builds app/fonts/LumeskarTerminal.bdf, the 6x8 code page 437 bitmap font.

Letters, digits, signs and symbols come from the drawings in glyphs.txt. The
shades, block halves, the square and every line drawing character are built
here from their geometry, so that they reach the cell edges exactly and tile
without gaps: lines meet the lines of the neighbouring cells, and the shade
patterns repeat with a period that divides the cell size.

    make_bdf.py            write the BDF
    make_bdf.py --check    exit 1 when the committed BDF is out of date
"""
import argparse
import os
import sys

WIDTH, HEIGHT = 6, 8
ASCENT, DESCENT = 7, 1
FAMILY = "Lumeskar Terminal"

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
GLYPHS_TXT = os.path.join(HERE, "glyphs.txt")
BDF_PATH = os.path.join(ROOT, "app", "fonts", "LumeskarTerminal.bdf")

# The graphic characters the PC text screen showed for bytes 0x01-0x1F.
LOW_SYMBOLS = [
    0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8,
    0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA,
    0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191,
    0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
]


def cp437_code_point(byte):
    """The Unicode character drawn for a code page 437 byte."""
    if byte == 0x00:
        return 0x20  # shown blank
    if byte < 0x20:
        return LOW_SYMBOLS[byte - 1]
    if byte == 0x7F:
        return 0x2302
    return ord(bytes([byte]).decode("cp437"))


class GlyphError(Exception):
    pass


def parse_glyphs(path=GLYPHS_TXT):
    """Reads glyphs.txt: a list of (byte or None, code point, rows)."""
    glyphs = []
    with open(path, encoding="utf-8") as f:
        lines = [(n + 1, l.rstrip("\n")) for n, l in enumerate(f)]
    i = 0
    while i < len(lines):
        n, line = lines[i]
        i += 1
        if not line.strip() or line.startswith("#"):
            continue
        parts = line.split()
        if len(parts) < 2 or not parts[1].startswith("U+"):
            raise GlyphError(f"{path}:{n}: expected '<byte> U+XXXX <name>'")
        byte = None if parts[0] == "--" else int(parts[0], 16)
        code_point = int(parts[1][2:], 16)
        rows = [l for _, l in lines[i:i + HEIGHT]]
        if len(rows) < HEIGHT:
            raise GlyphError(f"{path}:{n}: glyph has fewer than {HEIGHT} rows")
        for k, row in enumerate(rows):
            if len(row) != WIDTH or set(row) - {"#", "."}:
                raise GlyphError(f"{path}:{n + 1 + k}: row must be {WIDTH} of '#' or '.'")
        i += HEIGHT
        glyphs.append((byte, code_point, [[c == "#" for c in r] for r in rows]))
    return glyphs


def blank():
    return [[False] * WIDTH for _ in range(HEIGHT)]


def from_predicate(lit):
    return [[bool(lit(x, y)) for x in range(WIDTH)] for y in range(HEIGHT)]


# Shades: patterns with period 2 across and 4 down, so they continue seamlessly
# from cell to cell (the cell is 6 x 8).
def light_shade(x, y):
    return (y % 4 == 0 and x % 2 == 0) or (y % 4 == 2 and x % 2 == 1)


def medium_shade(x, y):
    return (x + y) % 2 == 0


def dark_shade(x, y):
    return not ((y % 4 == 1 and x % 2 == 1) or (y % 4 == 3 and x % 2 == 0))


BLOCKS = {
    0xB0: light_shade,
    0xB1: medium_shade,
    0xB2: dark_shade,
    0xDB: lambda x, y: True,                 # full block
    0xDC: lambda x, y: y >= HEIGHT // 2,     # lower half
    0xDD: lambda x, y: x < WIDTH // 2,       # left half
    0xDE: lambda x, y: x >= WIDTH // 2,      # right half
    0xDF: lambda x, y: y < HEIGHT // 2,      # upper half
    0xFE: lambda x, y: 1 <= x <= 4 and 2 <= y <= 5,  # centred square
}

# Line drawing characters as the weight of their arms (up, down, left, right):
# 0 none, 1 single, 2 double.
BOX = {
    0xB3: (1, 1, 0, 0), 0xB4: (1, 1, 1, 0), 0xB5: (1, 1, 2, 0), 0xB6: (2, 2, 1, 0),
    0xB7: (0, 2, 1, 0), 0xB8: (0, 1, 2, 0), 0xB9: (2, 2, 2, 0), 0xBA: (2, 2, 0, 0),
    0xBB: (0, 2, 2, 0), 0xBC: (2, 0, 2, 0), 0xBD: (2, 0, 1, 0), 0xBE: (1, 0, 2, 0),
    0xBF: (0, 1, 1, 0), 0xC0: (1, 0, 0, 1), 0xC1: (1, 0, 1, 1), 0xC2: (0, 1, 1, 1),
    0xC3: (1, 1, 0, 1), 0xC4: (0, 0, 1, 1), 0xC5: (1, 1, 1, 1), 0xC6: (1, 1, 0, 2),
    0xC7: (2, 2, 0, 1), 0xC8: (2, 0, 0, 2), 0xC9: (0, 2, 0, 2), 0xCA: (2, 0, 2, 2),
    0xCB: (0, 2, 2, 2), 0xCC: (2, 2, 0, 2), 0xCD: (0, 0, 2, 2), 0xCE: (2, 2, 2, 2),
    0xCF: (1, 0, 2, 2), 0xD0: (2, 0, 1, 1), 0xD1: (0, 1, 2, 2), 0xD2: (0, 2, 1, 1),
    0xD3: (2, 0, 0, 1), 0xD4: (1, 0, 0, 2), 0xD5: (0, 1, 0, 2), 0xD6: (0, 2, 0, 1),
    0xD7: (2, 2, 1, 1), 0xD8: (1, 1, 2, 2), 0xD9: (1, 0, 1, 0), 0xDA: (0, 1, 0, 1),
}

# Where the strokes lie: a single line on the middle column / row, a double
# line one pixel either side of it.
V_SINGLE, V_DOUBLE = 2, (1, 3)
H_SINGLE, H_DOUBLE = 3, (2, 4)
RIGHT_EDGE, BOTTOM_EDGE = WIDTH - 1, HEIGHT - 1


def arm_spans(a, b, c, d, own, across, edge):
    """The strokes of the arms along one axis, as (position, start, end).

    a runs from the low edge and b from the high edge towards the middle; c
    and d are the crossing arms on the low and high side. own and across give
    (single position, (low double, high double)) of this line and of the
    crossing one; edge is the last pixel along this axis."""
    weight, weight_across = max(a, b), max(c, d)
    positions = [own[0]] if weight == 1 else list(own[1]) if weight == 2 else []
    near, far = across[1]
    both_double = weight == 2 and weight_across == 2
    spans = []
    for pos in positions:
        side_arm = c if pos == own[1][0] else d
        if a:
            if b:
                end = near if (both_double and side_arm) else edge
            elif both_double:
                end = near if side_arm else far
            elif weight_across == 2:
                end = near if (c and d) else far
            else:
                end = across[0]
            spans.append((pos, 0, end))
        if b:
            if a:
                start = far if (both_double and side_arm) else 0
            elif both_double:
                start = far if side_arm else near
            elif weight_across == 2:
                start = far if (c and d) else near
            else:
                start = across[0]
            spans.append((pos, start, edge))
    return spans


def box_glyph(up, down, left, right):
    """Draws a line drawing character from the weights of its four arms.

    Each arm runs from its cell edge towards the middle. A line that ends on
    a crossing double line stops at its near stroke when the crossing line
    goes on both ways (a T) and runs to its far stroke at a corner. Where two
    double lines meet, each stroke stops at the stroke of the other line on
    its own side (inner corner) or runs on to the far one (outer corner), so
    parallel strokes never cross each other."""
    g = blank()
    vertical, horizontal = (V_SINGLE, V_DOUBLE), (H_SINGLE, H_DOUBLE)
    for x, y0, y1 in arm_spans(up, down, left, right, vertical, horizontal, BOTTOM_EDGE):
        for y in range(y0, y1 + 1):
            g[y][x] = True
    for y, x0, x1 in arm_spans(left, right, up, down, horizontal, vertical, RIGHT_EDGE):
        for x in range(x0, x1 + 1):
            g[y][x] = True
    return g


def build_font(glyphs):
    """Combines drawn and built glyphs into {code point: rows}, checking that
    every code page 437 byte gets exactly one glyph of the right character."""
    font = {}
    by_byte = {}

    def add(byte, code_point, rows, origin):
        if code_point in font:
            raise GlyphError(f"U+{code_point:04X} defined twice ({origin})")
        if byte is not None:
            want = cp437_code_point(byte)
            if code_point != want:
                raise GlyphError(f"byte 0x{byte:02X} is U+{want:04X}, not U+{code_point:04X}")
            if byte in by_byte:
                raise GlyphError(f"byte 0x{byte:02X} defined twice")
            by_byte[byte] = code_point
        font[code_point] = rows

    for byte, code_point, rows in glyphs:
        if byte is not None and (byte in BLOCKS or byte in BOX):
            raise GlyphError(f"byte 0x{byte:02X} is built by make_bdf.py, not drawn")
        add(byte, code_point, rows, "glyphs.txt")
    for byte, lit in BLOCKS.items():
        add(byte, cp437_code_point(byte), from_predicate(lit), "blocks")
    for byte, arms in BOX.items():
        add(byte, cp437_code_point(byte), box_glyph(*arms), "box drawing")

    missing = [b for b in range(1, 256) if b not in by_byte]
    if missing:
        raise GlyphError("no glyph for bytes " + " ".join(f"0x{b:02X}" for b in missing))
    if 0xFFFD not in font:
        raise GlyphError("no default glyph U+FFFD")
    return font


def bdf_text(font):
    props = [
        ("FOUNDRY", '"Lumeskar"'),
        ("FAMILY_NAME", f'"{FAMILY}"'),
        ("WEIGHT_NAME", '"Medium"'),
        ("SLANT", '"R"'),
        ("SETWIDTH_NAME", '"Normal"'),
        ("ADD_STYLE_NAME", '""'),
        ("PIXEL_SIZE", "8"),
        ("POINT_SIZE", "80"),
        ("RESOLUTION_X", "75"),
        ("RESOLUTION_Y", "75"),
        ("SPACING", '"C"'),
        ("AVERAGE_WIDTH", str(WIDTH * 10)),
        ("CHARSET_REGISTRY", '"ISO10646"'),
        ("CHARSET_ENCODING", '"1"'),
        ("FONT_ASCENT", str(ASCENT)),
        ("FONT_DESCENT", str(DESCENT)),
        ("DEFAULT_CHAR", str(0xFFFD)),
        ("COPYRIGHT", '"Copyright (c) the Lumeskar project. Drawn for Lumeskar."'),
    ]
    out = [
        "STARTFONT 2.1",
        "COMMENT Generated by tools/font/make_bdf.py from tools/font/glyphs.txt; do not edit.",
        f"FONT -Lumeskar-{FAMILY}-Medium-R-Normal--8-80-75-75-C-{WIDTH * 10}-ISO10646-1",
        "SIZE 8 75 75",
        f"FONTBOUNDINGBOX {WIDTH} {HEIGHT} 0 {-DESCENT}",
        f"STARTPROPERTIES {len(props)}",
    ]
    out += [f"{k} {v}" for k, v in props]
    out += ["ENDPROPERTIES", f"CHARS {len(font)}"]
    # Scalable width in 1/1000 em: 6 px at 8 pt and 75 dpi.
    swidth = round(WIDTH * 1000 * 72 / (8 * 75))
    for cp in sorted(font):
        name = "space" if cp == 0x20 else f"uni{cp:04X}"
        out += [
            f"STARTCHAR {name}",
            f"ENCODING {cp}",
            f"SWIDTH {swidth} 0",
            f"DWIDTH {WIDTH} 0",
            f"BBX {WIDTH} {HEIGHT} 0 {-DESCENT}",
            "BITMAP",
        ]
        for row in font[cp]:
            bits = 0
            for x, on in enumerate(row):
                if on:
                    bits |= 0x80 >> x
            out.append(f"{bits:02X}")
        out.append("ENDCHAR")
    out.append("ENDFONT")
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true", help="compare with the committed BDF")
    ap.add_argument("--output", default=BDF_PATH)
    args = ap.parse_args()
    try:
        text = bdf_text(build_font(parse_glyphs()))
    except GlyphError as e:
        print(f"make_bdf: {e}", file=sys.stderr)
        return 2
    if args.check:
        try:
            with open(args.output, encoding="ascii") as f:
                current = f.read()
        except OSError as e:
            print(f"make_bdf: {e}", file=sys.stderr)
            return 1
        if current != text:
            print(f"make_bdf: {args.output} is out of date; run tools/font/make_bdf.py", file=sys.stderr)
            return 1
        return 0
    tmp = args.output + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, args.output)
    print(f"wrote {args.output} ({len(text.split('STARTCHAR')) - 1} glyphs)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
