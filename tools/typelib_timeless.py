#!/usr/bin/env python3
"""Takes the build time out of a type library written by widl.

    typelib_timeless.py LIBRARY.tlb

widl records when it ran twice, as custom data of the library: a text
"Created by WIDL version V at <ctime>" and the same moment as a VT_UI4
number. Both become the Unix epoch, so that the type library, and the DLL
that embeds it, are the same bytes in every build of one commit.
"""
import re
import struct
import sys
import time

VT_UI4 = 0x13
CTIME_FORMAT = "%a %b %d %H:%M:%S %Y"
# ctime() of the epoch, the same 24 characters long as any other.
EPOCH_TEXT = b"Thu Jan  1 00:00:00 1970"


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    path = sys.argv[1]
    data = bytearray(open(path, "rb").read())
    found = list(re.finditer(rb"Created by WIDL version [0-9.]+ at (.{24})", data))
    if len(found) != 1:
        raise SystemExit(f"typelib_timeless: {path}: {len(found)} WIDL creation notes, expected 1")
    stamp = found[0].group(1)
    # widl printed its time_t with ctime(), in the local time zone of this build.
    moment = int(time.mktime(time.strptime(stamp.decode("ascii"), CTIME_FORMAT)))
    number = struct.pack("<HI", VT_UI4, moment)
    if data.count(number) != 1:
        raise SystemExit(f"typelib_timeless: {path}: the creation time {moment} is not there once")
    data[found[0].start(1):found[0].end(1)] = EPOCH_TEXT
    at = data.find(number)
    data[at:at + len(number)] = struct.pack("<HI", VT_UI4, 0)
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
