#!/usr/bin/env python3
"""Points a coclass's default interface at stdole2's IUnknown in a type library
that widl wrote.

widl copies IUnknown into the library when a coclass names it (with the GUID
record its QueryInterface takes), where MIDL refers to the IUnknown of the
imported stdole2.tlb. So the library is compiled with a stand-in default
interface (KS_TYPELIB_PLACEHOLDER, one of the library's own interfaces), and
this script then:
  - adds an import of IUnknown from stdole2.tlb (a GUID entry and an import
    entry, as widl writes them for IDispatch),
  - points the class's interface reference at that import,
  - puts the type descriptions back in the order the IDL declares them
    (naming the stand-in pulled it forward).

  typelib_import_iunknown.py IN.tlb OUT.tlb CLASS TYPE [TYPE...]

CLASS is the coclass whose default interface becomes IUnknown; the TYPEs are
every type of the library in their intended order. The MSFT layout follows
the public descriptions of the format (Wine's typelib reader and writer).
"""
import struct
import sys
import uuid

HEADER = struct.Struct('<21i')          # MSFT_Header
SEGMENTS = 15                           # MSFT_SegDir entries
TYPEINFO_SIZE = 0x64                    # MSFT_TypeInfoBase
SEG_TYPEINFO, SEG_IMPORTINFO, SEG_IMPORTFILES, SEG_REFERENCES, SEG_GUIDHASH, SEG_GUID, \
    SEG_NAMEHASH, SEG_NAME, SEG_STRING, SEG_TYPEDESC = range(10)
# The order in which the segments follow one another in the file.
FILE_ORDER = [0, 4, 5, 3, 1, 2, 6, 7, 8, 9, 10, 11, 12]
IMPINFO_OFFSET_IS_GUID = 0x00010000
TKIND_INTERFACE = 3
TKIND_DISPATCH = 4
VT_USERDEFINED = 0x1D
IID_IUNKNOWN = uuid.UUID('00000000-0000-0000-c000-000000000046')


def fail(message):
    sys.exit('typelib_import_iunknown: ' + message)


def i32(data, offset):
    return struct.unpack_from('<i', data, offset)[0]


def put_i32(data, offset, value):
    struct.pack_into('<i', data, offset, value)


def guid_hash(guid_bytes):
    h = 0
    for (half,) in struct.iter_unpack('<h', guid_bytes):
        h ^= half
    return h & 0x1F


class TypeLibrary:
    def __init__(self, data):
        self.header = list(HEADER.unpack_from(data, 0))
        if data[:4] != b'MSFT':
            fail('not an MSFT type library')
        pos = HEADER.size
        self.help_dll = None
        if self.header[5] & 0x100:
            self.help_dll = data[pos:pos + 4]
            pos += 4
        count = self.header[8]
        self.typeinfo_offsets = list(struct.unpack_from('<%di' % count, data, pos))
        pos += 4 * count
        self.segdir = [list(struct.unpack_from('<4i', data, pos + 16 * i)) for i in range(SEGMENTS)]
        self.segments = []
        end = pos + 16 * SEGMENTS
        for offset, length, _, _ in self.segdir:
            self.segments.append(bytearray(data[offset:offset + length]) if offset >= 0 else bytearray())
            if offset >= 0:
                end = max(end, offset + length)
        self.tail_start = end
        self.tail = data[end:]

    def serialize(self):
        prefix = HEADER.size + (4 if self.help_dll else 0) + 4 * len(self.typeinfo_offsets) + 16 * SEGMENTS
        pos = prefix
        for index in FILE_ORDER:
            length = len(self.segments[index])
            self.segdir[index][0] = pos if length else -1
            self.segdir[index][1] = length
            pos += length
        shift = pos - self.tail_start
        infos = self.segments[SEG_TYPEINFO]
        for offset in self.typeinfo_offsets:
            put_i32(infos, offset + 4, i32(infos, offset + 4) + shift)  # memoffset: the type's data block
        out = bytearray(HEADER.pack(*self.header))
        if self.help_dll:
            out += self.help_dll
        out += struct.pack('<%di' % len(self.typeinfo_offsets), *self.typeinfo_offsets)
        for entry in self.segdir:
            out += struct.pack('<4i', *entry)
        for index in FILE_ORDER:
            out += self.segments[index]
        return bytes(out + self.tail)

    def name_at(self, offset):
        names = self.segments[SEG_NAME]
        length = names[offset + 8]
        return names[offset + 12:offset + 12 + length].decode('latin-1')

    def type_names(self):
        infos = self.segments[SEG_TYPEINFO]
        return [self.name_at(i32(infos, offset + 0x34)) for offset in self.typeinfo_offsets]

    def name_entries(self):
        names = self.segments[SEG_NAME]
        pos = 0
        while pos < len(names):
            yield pos
            pos += 12 + ((names[pos + 8] + 3) & ~3)

    def add_guid(self, guid, hreftype):
        guids = self.segments[SEG_GUID]
        buckets = self.segments[SEG_GUIDHASH]
        offset = len(guids)
        raw = guid.bytes_le
        bucket = 4 * guid_hash(raw)
        guids += raw + struct.pack('<ii', hreftype, i32(buckets, bucket))
        put_i32(buckets, bucket, offset)
        return offset

    def reorder(self, order):
        """Puts the type descriptions in the given order of names, and
        renumbers every reference to a type description's offset."""
        names = self.type_names()
        if sorted(names) != sorted(order):
            fail('the library holds %s, expected %s' % (names, order))
        infos = self.segments[SEG_TYPEINFO]
        old_at = {name: offset for name, offset in zip(names, self.typeinfo_offsets)}
        moved = {}
        rebuilt = bytearray(infos)
        for index, name in enumerate(order):
            new_offset = self.typeinfo_offsets[index]
            moved[old_at[name]] = new_offset
            record = bytearray(infos[old_at[name]:old_at[name] + TYPEINFO_SIZE])
            kind = i32(record, 0)
            put_i32(record, 0, (kind & 0xFFFF) | (index << 16))
            rebuilt[new_offset:new_offset + TYPEINFO_SIZE] = record
        self.segments[SEG_TYPEINFO] = infos = rebuilt

        def remap(segment, offset):
            value = i32(segment, offset)
            if value in moved:
                put_i32(segment, offset, moved[value])

        refs = self.segments[SEG_REFERENCES]
        for pos in range(0, len(refs), 16):
            remap(refs, pos)
        guids = self.segments[SEG_GUID]
        for pos in range(0, len(guids), 24):
            remap(guids, pos + 16)
        names_segment = self.segments[SEG_NAME]
        for pos in self.name_entries():
            remap(names_segment, pos)
        descs = self.segments[SEG_TYPEDESC]
        for pos in range(0, len(descs), 8):
            if i32(descs, pos) & 0xFFFF == VT_USERDEFINED:
                remap(descs, pos + 4)
        # Interfaces named by a class or inherited, in the records' first type.
        for offset in self.typeinfo_offsets:
            if i32(infos, offset) & 0xF in (TKIND_INTERFACE, TKIND_DISPATCH):
                remap(infos, offset + 0x54)

    def import_iunknown(self, coclass):
        """Adds stdole2's IUnknown as an import and makes it the coclass's
        first (default) interface."""
        imports = self.segments[SEG_IMPORTINFO]
        if not imports:
            fail('the library imports nothing; is stdole2.tlb found?')
        stdole_file = i32(imports, 4)     # the file of the imports widl made (stdole2.tlb)
        index = self.header[20]           # nimpinfos
        import_offset = len(imports)
        guid_offset = self.add_guid(IID_IUNKNOWN, import_offset + 1)
        imports += struct.pack('<3i', (TKIND_INTERFACE << 24) | IMPINFO_OFFSET_IS_GUID | index,
                               stdole_file, guid_offset)
        self.header[20] = index + 1

        names = self.type_names()
        if coclass not in names:
            fail('no type %s' % coclass)
        record = self.typeinfo_offsets[names.index(coclass)]
        first_ref = i32(self.segments[SEG_TYPEINFO], record + 0x54)
        put_i32(self.segments[SEG_REFERENCES], first_ref, import_offset | 1)


def main(argv):
    if len(argv) < 5:
        fail('usage: IN.tlb OUT.tlb CLASS TYPE [TYPE...]')
    source, target, coclass, order = argv[1], argv[2], argv[3], argv[4:]
    with open(source, 'rb') as f:
        library = TypeLibrary(f.read())
    library.import_iunknown(coclass)
    library.reorder(order)
    with open(target, 'wb') as f:
        f.write(library.serialize())


if __name__ == '__main__':
    main(sys.argv)
