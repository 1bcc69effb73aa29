#!/usr/bin/python3
"""Checks the shipped files from their bytes: what they import, which
instructions they hold and that no test hook was built into them.

    shipped_check.py [--systems LIST] [--markers LIST] FILE[:no-sse] ...

Every import (by name, by ordinal and delay-loaded) of every FILE from a DLL
that is itself one of the FILEs must be among that DLL's exports; every other
import must be in the list of functions (tools/shipped/windows2000.txt by default) with a first
system no later than Windows 2000: the programs must load on Windows 2000 SP4
and XP, and a function newer than that is looked up at run time instead. A
FILE given as FILE:no-sse must hold no SSE or SSE2 instruction (the installers
and the driver run on any i686). No FILE may contain a test hook's marker
(tools/shipped/test_markers.txt). Each failure is printed with its file;
the exit code is 1 when any was found.
"""
import os
import re
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SYSTEMS = os.path.join(HERE, "shipped", "windows2000.txt")
DEFAULT_MARKERS = os.path.join(HERE, "shipped", "test_markers.txt")

# The systems a function can first appear in, oldest first; everything up to
# the target is allowed.
SYSTEM_ORDER = ["NT3.1", "NT3.5", "NT4", "2000", "XP", "2003", "Vista", "7", "8", "8.1", "10"]
TARGET = "2000"


class PeError(Exception):
    pass


class PeImage:
    """The parts of a PE image the checks need: sections and imports."""

    def __init__(self, data):
        self.data = data
        if len(data) < 64 or data[:2] != b"MZ":
            raise PeError("not an MZ image")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x10B:
            self.pe32_plus = False
            directories = optional + 96
        elif magic == 0x20B:
            self.pe32_plus = True
            directories = optional + 112
        else:
            raise PeError("unknown optional header 0x%x" % magic)
        count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(nsections):
            at = table + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            vsize, vaddr, rsize, raw = struct.unpack_from("<IIII", data, at + 8)
            flags = self.u32(at + 36)
            self.sections.append((name, vaddr, max(vsize, rsize), raw, rsize, flags))

    def u32(self, at):
        if at < 0 or at + 4 > len(self.data):
            raise PeError("truncated at 0x%x" % at)
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for _, vaddr, size, raw, rsize, _ in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < rsize:
                return raw + rva - vaddr
        raise PeError("address 0x%x outside the sections" % rva)

    def text(self, rva):
        at = self.offset(rva)
        end = self.data.find(b"\0", at)
        if end < 0:
            raise PeError("unterminated name")
        return self.data[at:end].decode("latin-1")

    def thunks(self, rva):
        size, mask = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        at = self.offset(rva)
        while True:
            if at + size > len(self.data):
                raise PeError("truncated import thunks")
            value = int.from_bytes(self.data[at:at + size], "little")
            if value == 0:
                return
            if value & mask:
                yield "#%d" % (value & 0xFFFF)
            else:
                yield self.text((value & 0x7FFFFFFF) + 2)
            at += size

    def imports(self):
        """(dll, function) of every import, delay-loaded ones included."""
        found = []
        if len(self.directories) > 1 and self.directories[1][0]:
            at = self.offset(self.directories[1][0])
            while True:
                lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
                if name == 0:
                    break
                dll = self.text(name)
                found += [(dll, f) for f in self.thunks(lookup or first)]
                at += 20
        if len(self.directories) > 13 and self.directories[13][0]:
            at = self.offset(self.directories[13][0])
            while True:
                fields = struct.unpack_from("<IIIIIIII", self.data, at)
                if fields[1] == 0:
                    break
                dll = self.text(fields[1])
                found += [(dll, f) for f in self.thunks(fields[4])]
                at += 32
        return found

    def exports(self):
        """The names this image exports."""
        if not self.directories or not self.directories[0][0]:
            return set()
        at = self.offset(self.directories[0][0])
        count, names = struct.unpack_from("<II", self.data, at + 24)[0], self.u32(at + 32)
        return {self.text(self.u32(self.offset(names) + 4 * i)) for i in range(count)}

    def code(self):
        """The bytes of the executable sections."""
        return b"".join(self.data[raw:raw + rsize] for _, _, _, raw, rsize, flags in self.sections
                        if flags & 0x20000000)


def load_systems(path):
    """{(dll lower case, function): first system} from the list."""
    systems = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if len(parts) != 3 or parts[2] not in SYSTEM_ORDER:
                raise SystemExit("%s:%d: expected 'DLL FUNCTION SYSTEM' with SYSTEM one of %s"
                                 % (path, number, " ".join(SYSTEM_ORDER)))
            systems[(parts[0].lower(), parts[1])] = parts[2]
    return systems


def load_markers(path):
    markers = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line.startswith("text "):
                markers.append(("text", line[5:].encode("latin-1")))
            elif line.startswith("code32 "):
                markers.append(("code", struct.pack("<I", int(line[7:], 0))))
            elif line:
                raise SystemExit("%s: unknown marker line %r" % (path, line))
    return markers


def import_failures(name, image, systems, shipped):
    """`shipped`: {dll lower case: its exports} of the DLLs that ship beside."""
    failures = []
    allowed = SYSTEM_ORDER.index(TARGET)
    for dll, function in image.imports():
        if dll.lower() in shipped:
            if function not in shipped[dll.lower()]:
                failures.append("%s: imports %s!%s, which the shipped %s does not export" % (name, dll, function, dll))
            continue
        system = systems.get((dll.lower(), function))
        if system is None:
            failures.append("%s: imports %s!%s, which is not in the list of what Windows 2000 has"
                            % (name, dll, function))
        elif SYSTEM_ORDER.index(system) > allowed:
            failures.append("%s: imports %s!%s, which first comes with Windows %s"
                            % (name, dll, function, system))
    return failures


SSE = re.compile(r"%xmm|%ymm|\b(ldmxcsr|stmxcsr|sfence|lfence|mfence|movnti|clflush|maskmovq|"
                 r"prefetch(nta|t0|t1|t2))\b")


def sse_failures(name, path, image):
    objdump = "x86_64-w64-mingw32-objdump" if image.pe32_plus else "i686-w64-mingw32-objdump"
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], capture_output=True, text=True,
                             check=True).stdout
    symbol = "?"
    failures = []
    for line in listing.splitlines():
        if line.endswith(">:"):
            symbol = line.split("<", 1)[-1][:-2]
        elif SSE.search(line):
            failures.append("%s: SSE instruction in %s: %s" % (name, symbol, " ".join(line.split())))
    return failures[:20]


def marker_failures(name, image, markers):
    code = image.code()
    failures = []
    for kind, marker in markers:
        where = image.data if kind == "text" else code
        if marker in where:
            failures.append("%s: holds the test hook marker %r" % (name, marker))
    return failures


def read_image(path):
    with open(path, "rb") as f:
        return PeImage(f.read())


def check(path, no_sse, systems, markers, shipped):
    name = os.path.basename(path)
    try:
        image = read_image(path)
        failures = import_failures(name, image, systems, shipped)
    except (OSError, PeError, struct.error) as e:
        return ["%s: cannot read the image: %s" % (name, e)]
    failures += marker_failures(name, image, markers)
    if no_sse:
        failures += sse_failures(name, path, image)
    return failures


def main(argv):
    systems_path, markers_path, files = DEFAULT_SYSTEMS, DEFAULT_MARKERS, []
    i = 0
    while i < len(argv):
        if argv[i] == "--systems":
            systems_path, i = argv[i + 1], i + 2
        elif argv[i] == "--markers":
            markers_path, i = argv[i + 1], i + 2
        else:
            files.append(argv[i])
            i += 1
    if not files:
        print(__doc__)
        return 2
    systems, markers = load_systems(systems_path), load_markers(markers_path)
    checked = [(spec[:-7], True) if spec.endswith(":no-sse") else (spec, False) for spec in files]
    shipped, failures = {}, []
    for path, _ in checked:
        if path.lower().endswith(".dll"):
            try:
                shipped[os.path.basename(path).lower()] = read_image(path).exports()
            except (OSError, PeError, struct.error):
                pass  # reported by its own check below
    for path, no_sse in checked:
        failures += check(path, no_sse, systems, markers, shipped)
    for failure in failures:
        print("shipped_check: " + failure)
    if not failures:
        print("shipped_check: %d files import only what Windows 2000 has and hold no test hook" % len(files))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
