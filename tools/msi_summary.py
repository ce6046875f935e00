#!/usr/bin/env python3
"""Makes an MSI package's summary information reproducible.

    msi_summary.py PACKAGE PACKAGE-CODE EPOCH

wixl writes a random package code (the revision number) and the current time
as creation and last-saved time, so two builds of one commit differ. This
puts the given package code and time (seconds since 1970, the last commit's)
in their place, in the summary information stream itself: the stream keeps
its size, so nothing else in the file moves.
"""
import struct
import sys
import uuid

import olefile

STREAM = "\x05SummaryInformation"
PID_REVNUMBER = 9
PID_CREATE_DTM = 12
PID_LASTSAVE_DTM = 13
VT_LPSTR = 0x1E
VT_FILETIME = 0x40
# 100 ns intervals between 1601-01-01 and 1970-01-01.
FILETIME_OF_UNIX_EPOCH = 116444736000000000


def property_offsets(data):
    """{property id: offset of its typed value} in the first section."""
    (section_offset,) = struct.unpack_from("<I", data, 28 + 16)
    _, count = struct.unpack_from("<II", data, section_offset)
    offsets = {}
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section_offset + 8 + 8 * i)
        offsets[pid] = section_offset + offset
    return offsets


def put_filetime(data, offsets, pid, epoch):
    at = offsets[pid]
    (vt,) = struct.unpack_from("<I", data, at)
    if vt != VT_FILETIME:
        raise SystemExit(f"msi_summary: property {pid} is of type {vt:#x}, not a time")
    struct.pack_into("<Q", data, at + 4, FILETIME_OF_UNIX_EPOCH + epoch * 10_000_000)


def put_package_code(data, offsets, code):
    at = offsets[PID_REVNUMBER]
    vt, size = struct.unpack_from("<II", data, at)
    text = ("{%s}" % str(uuid.UUID(code)).upper()).encode("ascii") + b"\0"
    if vt != VT_LPSTR or size != len(text):
        raise SystemExit("msi_summary: the revision number is not a package code of the usual length")
    data[at + 8:at + 8 + size] = text


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    path, code, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with olefile.OleFileIO(path, write_mode=True) as ole:
        data = bytearray(ole.openstream(STREAM).read())
        offsets = property_offsets(data)
        put_package_code(data, offsets, code)
        put_filetime(data, offsets, PID_CREATE_DTM, epoch)
        put_filetime(data, offsets, PID_LASTSAVE_DTM, epoch)
        ole.write_stream(STREAM, bytes(data))


if __name__ == "__main__":
    main()
