#!/usr/bin/env python3
"""Appends the entries of other ZIP archives to an archive, copied byte for byte.

Info-ZIP writes only stored and deflated entries; the shrunk and imploded
entries of the demo archive come from existing archives this way, compressed
data, CRC and dates unchanged. Usage: zip_append.py ARCHIVE SOURCE.zip...
"""
import struct
import sys

EOCD = b"PK\x05\x06"
CENTRAL = b"PK\x01\x02"
LOCAL = b"PK\x03\x04"
DESCRIPTOR = b"PK\x07\x08"


def entries(data):
    """Each entry as (local record, central header with its offset field zeroed)."""
    end = data.rfind(EOCD)
    if end < 0:
        raise ValueError("no end of central directory record")
    count, size, start = struct.unpack_from("<HII", data, end + 10)
    result = []
    at = start
    for _ in range(count):
        if data[at:at + 4] != CENTRAL:
            raise ValueError("bad central header at %d" % at)
        flags, = struct.unpack_from("<H", data, at + 8)
        csize, = struct.unpack_from("<I", data, at + 20)
        nlen, xlen, clen = struct.unpack_from("<HHH", data, at + 28)
        offset, = struct.unpack_from("<I", data, at + 42)
        central = bytearray(data[at:at + 46 + nlen + xlen + clen])
        at += len(central)
        if data[offset:offset + 4] != LOCAL:
            raise ValueError("bad local header at %d" % offset)
        lnlen, lxlen = struct.unpack_from("<HH", data, offset + 26)
        length = 30 + lnlen + lxlen + csize
        if flags & 8:  # a data descriptor follows the data, with or without its signature
            length += 16 if data[offset + length:offset + length + 4] == DESCRIPTOR else 12
        result.append((data[offset:offset + length], central))
    return result


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    archive = argv[1]
    with open(archive, "rb") as f:
        collected = entries(f.read())
    for source in argv[2:]:
        with open(source, "rb") as f:
            collected += entries(f.read())
    out = bytearray()
    directory = bytearray()
    for local, central in collected:
        struct.pack_into("<I", central, 42, len(out))
        out += local
        directory += central
    start = len(out)
    out += directory
    out += EOCD + struct.pack("<HHHHIIH", 0, 0, len(collected), len(collected), len(directory), start, 0)
    with open(archive, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
