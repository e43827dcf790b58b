#!/usr/bin/env python3
"""Builds the benchmark's legacy-method archive: every shrunk (method 1) and
imploded (method 6) entry found in the given archives, copied byte for byte
(local header fields and compressed data) as many times as it takes to reach
the wanted uncompressed total. No tool on Debian writes these methods any more,
so the archive is put together here: local headers and data, then a central
directory and an end record.

usage: bench-legacy.py OUTPUT MIN_TOTAL_BYTES ARCHIVE...
"""
import struct
import sys
import zipfile

LOCAL_SIG = 0x04034B50
CENTRAL_SIG = 0x02014B50
END_SIG = 0x06054B50


def legacy_entries(path):
    """(name, flags, method, dostime, dosdate, crc, csize, usize, data) of each
    usable shrunk or imploded entry of one archive."""
    found = []
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError):
        return found
    with archive, open(path, "rb") as raw:
        for info in archive.infolist():
            if info.compress_type not in (1, 6) or info.flag_bits & 0x1:
                continue
            raw.seek(info.header_offset)
            header = raw.read(30)
            (sig, _version, flags, method, dostime, dosdate, crc, csize, usize,
             name_len, extra_len) = struct.unpack("<IHHHHHIIIHH", header)
            if sig != LOCAL_SIG:
                continue
            if flags & 0x8:
                # Sizes after the data: take the central directory's.
                crc, csize, usize = info.CRC, info.compress_size, info.file_size
                flags &= ~0x8
            raw.seek(info.header_offset + 30 + name_len + extra_len)
            data = raw.read(csize)
            if len(data) != csize:
                continue
            found.append((info.filename, flags, method, dostime, dosdate, crc, csize, usize, data))
    return found


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    output, wanted = sys.argv[1], int(sys.argv[2])
    entries = []
    for path in sys.argv[3:]:
        entries.extend(legacy_entries(path))
    if not entries:
        sys.exit("no shrunk or imploded entries found")
    per_copy = sum(e[7] for e in entries)
    copies = -(-wanted // per_copy)

    central = bytearray()
    count = 0
    with open(output, "wb") as out:
        for copy in range(copies):
            for (name, flags, method, dostime, dosdate, crc, csize, usize, data) in entries:
                stored_name = ("copy%04d/%s" % (copy, name)).encode("cp437", "replace")
                offset = out.tell()
                out.write(struct.pack("<IHHHHHIIIHH", LOCAL_SIG, 20, flags, method, dostime, dosdate,
                                      crc, csize, usize, len(stored_name), 0))
                out.write(stored_name)
                out.write(data)
                central += struct.pack("<IBBHHHHHIIIHHHHHII", CENTRAL_SIG, 20, 0, 20, flags, method,
                                       dostime, dosdate, crc, csize, usize, len(stored_name), 0, 0,
                                       0, 0, 0x20, offset)
                central += stored_name
                count += 1
        directory_offset = out.tell()
        out.write(central)
        out.write(struct.pack("<IHHHHIIH", END_SIG, 0, 0, count, count, len(central),
                              directory_offset, 0))
    print("%s: %d entries, %d copies, %d bytes uncompressed" % (output, count, copies, copies * per_copy))


if __name__ == "__main__":
    main()
