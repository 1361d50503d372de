#!/usr/bin/env python3
"""Writes the programs' 16 x 16, 256-colour icons (mappix.ico, tresolo.ico, menorix.ico) from the
pictures below: one character per pixel, '.' is transparent. Run it after changing a picture and
commit the icons it writes beside itself."""

import pathlib
import struct

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


def main():
    here = pathlib.Path(__file__).resolve().parent
    for name, picture in PICTURES.items():
        (here / f"{name}.ico").write_bytes(icon(picture))


if __name__ == "__main__":
    main()
