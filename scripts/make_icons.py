#!/usr/bin/env python3
"""Writes the programs' 16 x 16, 256-colour icons (mappix.ico, tresolo.ico, menorix.ico) from the
pictures below: one character per pixel, '.' is transparent. Menorix has a window on Linux too, so
its picture is also written as PNG images for Qt and the hicolor icon theme, at 16, 32 and 48
pixels (each pixel a square of 1, 2 or 3), into platform/qt/icons; the Windows icons go into
platform/win32/resources. Run it after changing a picture and commit what it writes; with a folder
as its argument it writes everything there instead, so that a test can compare."""

import pathlib
import struct
import sys
import zlib

COLOURS = {  # character: (red, green, blue)
    "k": (40, 40, 48),      # outline
    "w": (255, 255, 255),   # paper
    "g": (200, 204, 212),   # paper shade
    "b": (57, 107, 165),    # Kartiva blue (#396BA5)
    "l": (181, 218, 249),   # light blue (#B5DAF9)
    "n": (0, 128, 64),      # arrow green
    "t": (139, 94, 52),     # basket brown
    "y": (214, 170, 96),    # basket straw
    "s": (120, 128, 140),   # archive steel
    "h": (176, 184, 196),   # archive steel, lit
}

PICTURES = {
    # A sheet of paper dropping into a basket.
    "mappix": [
        "....kkkkkkk.....",
        "....kwwwwgkk....",
        "....kwggwgwk....",
        "....kwwwwwwk....",
        "....kwggggwk....",
        "....kwwwnwwk....",
        "....kwwwnwwk....",
        "....kkknnnkk....",
        "......nnnnn.....",
        ".......nnn......",
        "ttttttttntttttt.",
        "tyyyyyyyyyyyyyt.",
        ".tytytytytytyt..",
        ".tyyyyyyyyyyyt..",
        "..tytytytytyt...",
        "..ttttttttttt...",
    ],
    # An archive cabinet with a sheet of paper going into its top drawer.
    "tresolo": [
        ".....kkkkkk.....",
        ".....kwwwwk.....",
        ".....kwggwk.....",
        ".kkkkkwwwwkkkk..",
        ".khhhhbbbhhhhk..",
        ".ksssssssssssk..",
        ".ksssskkkssssk..",
        ".ksssshhhssssk..",
        ".kkkkkkkkkkkkk..",
        ".khhhhhhhhhhhk..",
        ".ksssssssssssk..",
        ".ksssskkkssssk..",
        ".ksssshhhssssk..",
        ".ksssssssssssk..",
        ".kkkkkkkkkkkkk..",
        "................",
    ],
    # The configurator's rounded blue window with a context menu of two entries.
    "menorix": [
        "................",
        "..bbbbbbbbbbbb..",
        ".bbbbbbbbbbbbbb.",
        ".bbkkkkkkkkkkbb.",
        ".bbkwwwwwwwwkbb.",
        ".bbkwnnnnnnwkbb.",
        ".bbkwwwwwwwwkbb.",
        ".llkggggggggkll.",
        ".llkwwwwwwwwkll.",
        ".llkwbbbbbbwkll.",
        ".llkwwwwwwwwkll.",
        ".llkkkkkkkkkkll.",
        ".llllllllllllll.",
        ".llllllllllllll.",
        "..llllllllllll..",
        "................",
    ],
}

SIZE = 16


def icon(picture):
    assert len(picture) == SIZE and all(len(row) == SIZE for row in picture)
    keys = sorted(COLOURS)
    palette = b"".join(struct.pack("<BBBB", *reversed(COLOURS[k]), 0) for k in keys)
    palette += b"\0" * (4 * (256 - len(keys)))
    index = {k: i for i, k in enumerate(keys)}
    pixels = b""  # bottom row first, one byte per pixel; 16 bytes per row need no padding
    mask = b""    # bottom row first, one bit per pixel, rows padded to four bytes
    for row in reversed(picture):
        pixels += bytes(index.get(c, 0) for c in row)
        bits = 0
        for c in row:
            bits = (bits << 1) | (c == ".")
        mask += struct.pack(">H", bits) + b"\0\0"
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 8, 0,
                         len(pixels) + len(mask), 0, 0, 256, 0)
    image = header + palette + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


PNG_SCALES = (1, 2, 3)


def png(picture, scale):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))
    rows = b""  # each row: filter type 0, then red, green, blue, alpha per pixel
    for row in picture:
        line = b"".join(bytes((*COLOURS.get(c, (0, 0, 0)), 0 if c == "." else 255)) * scale
                        for c in row)
        rows += (b"\0" + line) * scale
    size = SIZE * scale
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    platform = pathlib.Path(__file__).resolve().parents[1] / "platform"
    windows, icons = platform / "win32" / "resources", platform / "qt" / "icons"
    if len(sys.argv) > 1:
        windows = icons = pathlib.Path(sys.argv[1])
    for name, picture in PICTURES.items():
        (windows / f"{name}.ico").write_bytes(icon(picture))
    for scale in PNG_SCALES:
        size = SIZE * scale
        (icons / f"menorix-{size}.png").write_bytes(png(PICTURES["menorix"], scale))


if __name__ == "__main__":
    main()
