#!/usr/bin/env python3
"""A reader of the surface library's data files (keyed container 1.0),
written from the format's description alone.

    tavir_reader.py FILE...                      prints every item of each file
    tavir_reader.py --check EXPECTED FILE... [EXPECTED FILE...]...
                                                 compares each file's items with
                                                 the lines of the EXPECTED before
                                                 it ("name kind ndims dims... :
                                                 values"; its name ends in
                                                 ".expected")

Binary numbers must match bit for bit, ASCII ones to 15 significant digits.
"""
import math
import re
import struct
import sys

KINDS = {"Boolean": (1, "B"), "Integer": (4, "i"), "Double": (8, "d"), "Character": (1, "B")}
INDEX_LINE = re.compile(rb"[ \t\v\f\r\n]*(?:(\[ascii\])|(\[binary\])|"
                        rb"([A-Za-z_][A-Za-z0-9_]*)[ \t\v\f\r\n]+(Boolean|Integer|Double|Character)"
                        rb"((?:[ \t\v\f\r\n]+[0-9]+)*)[ \t\v\f\r\n]*;)")
NUMBER = re.compile(rb"[+-]?[0-9]+(\.[0-9]+)?([eE][+-]?[0-9]+)?")
ESCAPES = {ord('"'): 34, ord("\\"): 92, ord("f"): 12, ord("n"): 10, ord("r"): 13, ord("t"): 9, ord("v"): 11}


def count_of(dims):
    n = 1
    for d in dims:
        n *= d
    return n


def ascii_tokens(data, pos):
    """Yields ("bool", 0/1), ("int", text), ("real", text) and ("char", byte)."""
    end = len(data)
    while pos < end:
        c = data[pos]
        if c in b" \t\v\f\r\n":
            pos += 1
        elif data.startswith(b"TRUE", pos):
            yield ("bool", 1)
            pos += 4
        elif data.startswith(b"FALSE", pos):
            yield ("bool", 0)
            pos += 5
        elif c == ord('"'):
            pos += 1
            while True:
                if pos >= end:
                    raise ValueError("end of file inside a string")
                c = data[pos]
                if c == ord('"'):
                    pos += 1
                    break
                if c != ord("\\"):
                    yield ("char", c)
                    pos += 1
                    continue
                pos += 1
                d = data[pos]
                if d in ESCAPES:
                    yield ("char", ESCAPES[d])
                    pos += 1
                elif chr(d).isdigit():
                    digits = re.match(rb"[0-9]+", data[pos:]).group(0)
                    if data[pos + len(digits):pos + len(digits) + 1] == b".":
                        yield ("char", int(digits))
                        pos += len(digits) + 1
                    else:
                        yield ("char", 0 if d == ord("0") else d)
                        pos += 1
                else:
                    yield ("char", d)
                    pos += 1
        else:
            m = NUMBER.match(data, pos)
            if not m:
                raise ValueError("unexpected byte %r at %d" % (data[pos:pos + 1], pos))
            yield ("real" if m.group(1) or m.group(2) else "int", m.group(0).decode())
            pos = m.end()


def read(path):
    """The items of a file: a list of (name, kind, dims, values, encoding)."""
    with open(path, "rb") as f:
        data = f.read()
    m = re.match(rb"%TAVIR-([0-9]+)\.([0-9]+)", data)
    if not m or (int(m.group(1)), int(m.group(2))) != (1, 0):
        raise ValueError("not a version 1.0 file")
    pos = data.index(b"[index]", m.end()) + len(b"[index]")
    items = []
    while True:
        m = INDEX_LINE.match(data, pos)
        if not m:
            raise ValueError("index syntax near byte %d" % pos)
        pos = m.end()
        if m.group(1) or m.group(2):
            binary = bool(m.group(2))
            break
        items.append((m.group(3).decode(), m.group(4).decode(), [int(x) for x in m.group(5).split()]))
    result = []
    if binary:
        marker = data[pos:pos + 4]
        order = "<" if marker == b"\xff\x0f\xf0\x00" else ">" if marker == b"\x00\xf0\x0f\xff" else None
        if order is None or struct.unpack(order + "d", data[pos + 4:pos + 12])[0] != 1.23456789:
            raise ValueError("binary marker or test value wrong")
        pos += 12
        for name, kind, dims in items:
            width, code = KINDS[kind]
            n = count_of(dims)
            raw = data[pos:pos + n * width]
            if len(raw) != n * width:
                raise ValueError("item %s is cut short" % name)
            result.append((name, kind, dims, list(struct.unpack(order + code * n, raw)), "binary"))
            pos += n * width
        return result
    tokens = ascii_tokens(data, pos)
    for name, kind, dims in items:
        values = []
        for _ in range(count_of(dims)):
            sort, value = next(tokens)
            wanted = {"Boolean": ("bool",), "Integer": ("int",), "Double": ("int", "real"), "Character": ("char",)}
            if sort not in wanted[kind]:
                raise ValueError("item %s holds a %s" % (name, sort))
            values.append(float(value) if kind == "Double" else int(value))
        result.append((name, kind, dims, values, "ascii"))
    return result


def same(a, b, encoding):
    if encoding == "binary":
        return struct.pack("<d", a) == struct.pack("<d", b)
    return a == b or math.isclose(a, b, rel_tol=1e-14, abs_tol=0.0)


def check(expected_path, paths):
    expected = []
    with open(expected_path) as f:
        for line in f:
            head, _, values = line.partition(" : ")
            fields = head.split()
            if line.rstrip().endswith(":"):
                fields = line.rstrip()[:-1].split()
                values = ""
            name, kind, ndims = fields[0], fields[1], int(fields[2])
            dims = [int(x) for x in fields[3:3 + ndims]]
            numbers = [float(x) if kind == "Double" else int(x) for x in values.split()]
            expected.append((name, kind, dims, numbers))
    faults = 0
    for path in paths:
        items = read(path)
        if [(n, k, d) for n, k, d, _, _ in items] != [(n, k, d) for n, k, d, _ in expected]:
            print("%s: items differ: %s" % (path, [(n, k, d) for n, k, d, _, _ in items]))
            faults += 1
            continue
        for (name, kind, _, values, encoding), (_, _, _, wanted) in zip(items, expected):
            if len(values) != len(wanted) or not all(same(a, b, encoding) for a, b in zip(values, wanted)):
                print("%s: item %s: %s, expected %s" % (path, name, values, wanted))
                faults += 1
    return faults


def main(argv):
    if len(argv) >= 3 and argv[0] == "--check":
        faults = 0
        groups = []
        for arg in argv[1:]:
            if arg.endswith(".expected"):
                groups.append((arg, []))
            else:
                groups[-1][1].append(arg)
        for expected, paths in groups:
            faults += check(expected, paths)
        return 1 if faults else 0
    for path in argv:
        for name, kind, dims, values, encoding in read(path):
            print(path, encoding, name, kind, dims, values)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
