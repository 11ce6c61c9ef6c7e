#!/usr/bin/env python3
"""Writes the folder tree's two 16 x 16 icons (closed and open folder) as .ico files.

The pictures are drawn below as text, one character a pixel; run this again after changing them:
    python3 src/resources/make_folder_icons.py src/resources
"""
import struct
import sys

PALETTE = {
    ".": None,                    # transparent
    "#": (0x6B, 0x4E, 0x10),      # outline
    "y": (0xF2, 0xC1, 0x4E),      # folder body
    "Y": (0xFB, 0xDE, 0x8A),      # lit face
    "o": (0xD9, 0x9E, 0x2B),      # shade
    "w": (0xFF, 0xFF, 0xFF),      # paper
}

CLOSED = """
................
................
.#####..........
#yyyyy#.........
#yyyyyy########.
#YYYYYYYYYYYYYY#
#YyyyyyyyyyyyyY#
#yyyyyyyyyyyyyo#
#yyyyyyyyyyyyyo#
#yyyyyyyyyyyyyo#
#yyyyyyyyyyyyyo#
#yyyyyyyyyyyyyo#
#yyyyyyyyyyyyyo#
#oooooooooooooo#
################
................
"""

OPEN = """
................
................
.#####..........
#yyyyy#.........
#yyyyyy#######..
#yyyyyyyyyyyyy#.
#yyywwwwwwwwwy#.
#yyw##########.#
#yw#YYYYYYYYYYY#
#y#YYYYYYYYYYYY#
#y#YYYYYYYYYYo#.
##YYYYYYYYYYYo#.
#YYYYYYYYYYYo#..
#oooooooooooo#..
##############..
................
"""


def rows_of(picture):
    rows = [line[:16].ljust(16, ".") for line in picture.strip("\n").split("\n")]
    assert len(rows) == 16, len(rows)
    return rows


def ico(picture):
    rows = rows_of(picture)
    # BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, 16 * 16 * 4 + 16 * 4, 0, 0, 0, 0)
    colour = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        bits = 0
        for x, ch in enumerate(row):
            rgb = PALETTE[ch]
            if rgb is None:
                colour += b"\0\0\0\0"
                bits |= 1 << (15 - x)
            else:
                colour += bytes((rgb[2], rgb[1], rgb[0], 0xFF))
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, picture in (("folder_closed.ico", CLOSED), ("folder_open.ico", OPEN)):
        with open(f"{folder}/{name}", "wb") as out:
            out.write(ico(picture))


if __name__ == "__main__":
    main()
