#!/usr/bin/env python3
"""Writes wand_v3.cfg, a small calibration file made without the program's
own writer, so that the reader is checked against bytes laid out by hand.

Hardware 2.3.1 (two channels), 3 rows x 4 columns, scale 0.5, serial 512,
two history records. Run from this folder: python3 make_calibration_fixture.py
"""
import struct

UNSET = -32768


def text_block(text):
    block = text.encode("ascii") + b"\x1a\x04"
    return block + b"\0" * (1024 - len(block))


def entry(c, i, j):
    # Entry 5 of every channel is unset; entry (0, 0, 0) lies outside the
    # camera's reach and is pruned: x = 0.5 * 10 = 5, |y| = 0.5 * 100 = 50.
    if i * 4 + j == 5:
        return (UNSET, 7, 7)
    if (c, i, j) == (0, 0, 0):
        return (10, 100, 0)
    return (100 * (c + 1) + 10 * i + j, -(10 * i + j), c * 1000 + i * 100 + j)


def tweak(values, date):
    return struct.pack("<10f", *values) + date.encode("ascii").ljust(32, b"\0")


header = text_block("Fixture notice\nFile type:  TAVIR KORV Calibration File\nVersion:  3\n"
                    "Created: Fri Mar  1 10:00:00 2024\nBy hand\n")
header += struct.pack("<ii", 4, 3)
cal = struct.pack("<Iiiiiiiiiifhh", 512, 2, 3, 1, 1, 0, 3, 4, 2, 2, 0.5, UNSET, 0)
table = b"".join(struct.pack("<hhh", *entry(c, i, j)) for c in range(2) for i in range(3) for j in range(4))
history = tweak([1.5, -2.0, 0.5, 0.25, 3.0, 3.5, 1.0, 1.25, 0.75, 0.5], "Sat Mar  2 09:30:00 2024")
history += tweak([0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0], "Fri Mar  1 11:00:00 2024")
history += b"\0" * (72 * 98)

with open("wand_v3.cfg", "wb") as f:
    f.write(header + cal + table + history)
