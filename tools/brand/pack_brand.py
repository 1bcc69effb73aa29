#!/usr/bin/env python3
"""Appends the branding package to a program file, or strips it.

The package is a directory of named, typed values after the executable
image: at the directory offset the entry count, then each entry as a
32-byte zero-padded name, a 3-byte type tag ("str", "png", "u32", "i32")
and either the data size and the data or the 32-bit value; the file ends in
"TvResource" and the directory offset (little-endian signed 32-bit).

    pack_brand.py PROGRAM [--strip] [--text NAME=VALUE]... [--png NAME=FILE]...
                  [--u32 NAME=VALUE]...

A package already on the file is replaced, so the build may run it again.
"""
import argparse
import struct
import sys

MAGIC = b"TvResource"
TRAILER = len(MAGIC) + 4
MAX_ENTRIES = 64


def strip(data):
    """The program's bytes without a package appended to them."""
    if len(data) >= TRAILER and data[-TRAILER:-4] == MAGIC:
        (offset,) = struct.unpack("<i", data[-4:])
        if 0 <= offset <= len(data) - TRAILER:
            return data[:offset]
    return data


def entry_name(name):
    raw = name.encode("ascii")
    if len(raw) > 31:
        raise SystemExit("entry name longer than 31 characters: " + name)
    return raw.ljust(32, b"\0")


def build(entries):
    if len(entries) > MAX_ENTRIES:
        raise SystemExit("a package holds at most %d entries" % MAX_ENTRIES)
    out = struct.pack("<i", len(entries))
    for kind, name, value in entries:
        out += entry_name(name) + kind.encode("ascii")
        if kind in ("str", "png"):
            out += struct.pack("<i", len(value)) + value
        elif kind == "u32":
            out += struct.pack("<I", value)
        else:
            out += struct.pack("<i", value)
    return out


def split(text):
    name, sep, value = text.partition("=")
    if not sep:
        raise SystemExit("expected NAME=VALUE: " + text)
    return name, value


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("--strip", action="store_true", help="only remove the package")
    parser.add_argument("--text", action="append", default=[])
    parser.add_argument("--png", action="append", default=[])
    parser.add_argument("--u32", action="append", default=[])
    args = parser.parse_args(argv)

    with open(args.program, "rb") as f:
        image = strip(f.read())
    entries = []
    for text in args.text:
        name, value = split(text)
        entries.append(("str", name, value.encode("latin-1") + b"\0"))
    for png in args.png:
        name, path = split(png)
        with open(path, "rb") as f:
            entries.append(("png", name, f.read()))
    for u32 in args.u32:
        name, value = split(u32)
        entries.append(("u32", name, int(value, 0) & 0xFFFFFFFF))
    if not args.strip:
        image += build(entries) + MAGIC + struct.pack("<i", len(image))
    with open(args.program, "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
