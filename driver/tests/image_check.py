#!/usr/bin/python3
"""Checks the built kernel image Ombrix.sys from its bytes alone.

    image_check.py IMAGE POINTER_BYTES

Machine (i386 for 4, x86-64 for 8), native subsystem, base relocations,
imports from ntoskrnl.exe and HAL.dll only, the PE checksum computed here
independently, and the message table: language 1033, the fifteen event texts
in 8-bit form, each ending in a carriage return and a line feed.
"""
import struct
import sys

EVENTS = {
    0xC0070001: "OMBRIX: Device load failed: %2.",
    0xC0070002: "OMBRIX: ECP Device Open failed. Ensure ECP is enabled in BIOS and Registry Parameters are correct.",
    0xC0070003: "OMBRIX: Error connecting to associated Parallel Port Device\t(\\Device\\Parallelx)",
    0xC0070004: "OMBRIX: Parport.sys won't allocate SPP port to device - parallel port probably in use.",
    0xC0070005: "OMBRIX: Parport.sys won't connect interrupt for ECP device - parallel port probably in use.",
    0xC0070006: "Error allocating resources (i/o ports and DMA channel) to ECP device.",
    0xC0070007: "OMBRIX: Error initializing resources (io/ports or DMA channel) of ECP device.",
    0xC0070008: "OMBRIX: \\OMBRIX\\Devices\\ECPx\\LPTPort:DWORD out of range. Valid range: [1..4]",
    0xC0070009: "OMBRIX: \\OMBRIX\\Devices\\ECPx\\DMAChannel:DWORD out of range Valid range: [1,2,3,5,6,7]",
    0xC007000A: "OMBRIX: ECP (Extended Capabilities Port) enabled parallel port not detected - check BIOS settings",
    0xC007000B: "OMBRIX: Error reading ECP Port configuration",
    0xC007000C: "OMBRIX: DMA Channel does not match chip implementation",
    0xC007000D: "OMBRIX: Error disconnecting parallel port interrupt from parport.sys",
    0xC007000E: "OMBRIX: Error releasing resources claimed by ECP device",
    0xC007000F: "OMBRIX: Parallel Port hardware requires DMA channel to be set by jumper on board - "
                "ensure this matches ECP\\0\\DMAChannel Registry entry",
}
MACHINES = {4: 0x014C, 8: 0x8664}
RT_MESSAGETABLE = 11


class Image:
    def __init__(self, data):
        self.data = data
        self.pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b'PE\0\0':
            raise SystemExit('not a PE image')
        self.machine, self.sections_count, _, _, _, self.optional_size, self.characteristics = \
            struct.unpack_from('<HHIIIHH', data, self.pe + 4)
        self.optional = self.pe + 24
        magic = struct.unpack_from('<H', data, self.optional)[0]
        self.plus = magic == 0x20B
        self.checksum_offset = self.optional + 64
        self.subsystem = struct.unpack_from('<H', data, self.optional + 68)[0]
        directories = self.optional + (112 if self.plus else 96)
        self.directories = [struct.unpack_from('<II', data, directories + 8 * i) for i in range(16)]
        table = self.optional + self.optional_size
        self.sections = []
        for i in range(self.sections_count):
            name, vsize, va, rsize, raw = struct.unpack_from('<8sIIII', data, table + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode(), va, max(vsize, rsize), raw))

    def offset(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise SystemExit(f'address {rva:#x} in no section')

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode()

    def imports(self):
        rva, _ = self.directories[1]
        names = []
        while True:
            entry = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if entry[3] == 0:
                return names
            names.append(self.cstring(entry[3]))
            rva += 20

    def message_table(self):
        base_rva, size = self.directories[2]
        if not size:
            return
        base = self.offset(base_rva)

        def entries(offset):
            named, ids = struct.unpack_from('<HH', self.data, offset + 12)
            for i in range(named + ids):
                yield struct.unpack_from('<II', self.data, offset + 16 + 8 * i)

        for type_id, type_target in entries(base):
            if type_id != RT_MESSAGETABLE:
                continue
            for _, name_target in entries(base + (type_target & 0x7FFFFFFF)):
                for language, leaf in entries(base + (name_target & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    yield language, self.data[self.offset(rva):self.offset(rva) + size]


def checksum(data, field):
    """The PE checksum: 16-bit ones' complement sum over the file with the field zeroed, plus the length."""
    body = bytearray(data)
    body[field:field + 4] = b'\0\0\0\0'
    if len(body) % 2:
        body += b'\0'
    total = 0
    for (word,) in struct.iter_unpack('<H', body):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + len(data)


def messages(block):
    count = struct.unpack_from('<I', block, 0)[0]
    found = {}
    for i in range(count):
        low, high, offset = struct.unpack_from('<III', block, 4 + 12 * i)
        for ident in range(low, high + 1):
            length, flags = struct.unpack_from('<HH', block, offset)
            found[ident] = (flags, block[offset + 4:offset + length])
            offset += length
    return found


def main():
    path, pointer_bytes = sys.argv[1], int(sys.argv[2])
    data = open(path, 'rb').read()
    image = Image(data)
    faults = []
    if image.machine != MACHINES[pointer_bytes]:
        faults.append(f'machine {image.machine:#x}, expected {MACHINES[pointer_bytes]:#x}')
    if image.subsystem != 1:
        faults.append(f'subsystem {image.subsystem}, expected 1 (native)')
    if image.characteristics & 0x0001 or image.directories[5][1] == 0:
        faults.append('no base relocations')
    imported = {name.lower() for name in image.imports()}
    if not imported <= {'ntoskrnl.exe', 'hal.dll'} or 'ntoskrnl.exe' not in imported:
        faults.append(f'imports {sorted(imported)}')
    stored = struct.unpack_from('<I', data, image.checksum_offset)[0]
    computed = checksum(data, image.checksum_offset)
    if stored != computed:
        faults.append(f'checksum {stored:#x}, computed {computed:#x}')
    tables = dict(image.message_table())
    if list(tables) != [1033]:
        faults.append(f'message table languages {list(tables)}, expected [1033]')
    else:
        found = messages(tables[1033])
        if sorted(found) != sorted(EVENTS):
            faults.append(f'message ids {[hex(i) for i in sorted(found)]}')
        for ident, text in EVENTS.items():
            flags, stored_text = found.get(ident, (None, b''))
            want = (text + '\r\n').encode('latin-1')
            if flags != 0 or stored_text.rstrip(b'\0') != want:
                faults.append(f'message {ident:#x}: flags {flags}, text {stored_text!r}')
    for fault in faults:
        print(f'{path}: {fault}')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
