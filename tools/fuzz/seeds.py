#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the test archives and from
archives and streams made here.

usage: seeds.py TESTDATA_DIR CORPUS_ROOT
"""
import io
import os
import struct
import sys
import zipfile
import zlib

TEXT = (b"The quick brown fox jumps over the lazy dog. " * 40 +
        bytes(range(256)) * 3 + b"\x00" * 3000 + b"abcabcabcabd" * 100)


def raw_entries(path):
    """(method, flags, usize, compressed bytes) of each entry of an archive."""
    found = []
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError, ValueError):
        return found
    with archive, open(path, "rb") as raw:
        for info in archive.infolist():
            raw.seek(info.header_offset)
            header = raw.read(30)
            if len(header) < 30 or header[:4] != b"PK\x03\x04":
                continue
            name_len, extra_len = struct.unpack("<HH", header[26:30])
            raw.seek(info.header_offset + 30 + name_len + extra_len)
            data = raw.read(min(info.compress_size, 1 << 20))
            found.append((info.compress_type, info.flag_bits, info.file_size, data))
    return found


def made_archives():
    """Small archives of every kind Python's zipfile writes."""
    archives = {}
    for name, method, level in (("stored", zipfile.ZIP_STORED, None), ("deflated1", zipfile.ZIP_DEFLATED, 1),
                                ("deflated9", zipfile.ZIP_DEFLATED, 9)):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method, compresslevel=level) as z:
            z.writestr("a.txt", TEXT[:700])
            z.writestr("sub/", b"")
            z.writestr("sub/b.bin", TEXT)
            z.writestr("empty.txt", b"")
        archives["made-%s.zip" % name] = buf.getvalue()
    # Entries written to a stream: sizes and CRC in a data descriptor.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        with z.open("dd.txt", "w", force_zip64=False) as f:
            f.write(TEXT[:2000])
    archives["made-descriptor.zip"] = buf.getvalue()
    return archives


def deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def http_replies():
    """Replies in each framing, with interim replies and odd headers, each
    behind a plan of piece sizes (first byte: the plan's length)."""
    body = TEXT[:700]
    chunks = b"".join(b"%x;ext=1\r\n" % len(body[i:i + 200]) + body[i:i + 200] + b"\r\n"
                      for i in range(0, len(body), 200))
    replies = [
        b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body,
        b"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" + chunks + b"0\r\nX-T: 1\r\n\r\n",
        b"HTTP/1.0 200 OK\r\nServer: x\r\n\r\n" + body,
        b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: a\r\n\r\n"
        b"HTTP/1.1 404 Not Found\r\ncontent-length: 5\r\nContent-Length: 5\r\n\r\ngone!",
        b"HTTP/1.1 204 No Content\r\n\r\n",
        b"HTTP/1.1 304 Not Modified\nETag: x\n\n",
    ]
    plans = [b"\x00", b"\x03\x07\x10\xff", b"\x01\xf8", b"\x05\x00\x08\x0f\x27\x80"]
    return [plans[i % len(plans)] + reply for i, reply in enumerate(replies)]


def main():
    testdata, root = sys.argv[1], sys.argv[2]
    dirs = {t: os.path.join(root, t) for t in ("dir", "extract", "inflate", "explode", "unshrink", "http")}
    for d in dirs.values():
        os.makedirs(d, exist_ok=True)

    archives = {}
    for name in sorted(os.listdir(testdata)):
        if name.lower().endswith(".zip"):
            with open(os.path.join(testdata, name), "rb") as f:
                archives[name] = f.read()
    archives.update(made_archives())
    for name, data in archives.items():
        for t in ("dir", "extract"):
            if len(data) <= 256 * 1024:
                with open(os.path.join(dirs[t], name), "wb") as f:
                    f.write(data)

    streams = {"inflate": [], "explode": [], "unshrink": []}
    for name in sorted(archives):
        path = os.path.join(testdata, name)
        if not os.path.exists(path):
            continue
        for method, flags, usize, data in raw_entries(path):
            if method == 8:
                streams["inflate"].append(data)
            elif method == 6:
                head = bytes([flags & 0x06, usize & 0xFF, (usize >> 8) & 0xFF, (usize >> 16) & 0xFF])
                streams["explode"].append(head + data)
            elif method == 1:
                streams["unshrink"].append(data)
    for level in (0, 1, 6, 9):
        streams["inflate"].append(deflate(TEXT, level))
    streams["inflate"].append(deflate(TEXT, 6, zlib.Z_FIXED))
    streams["inflate"].append(deflate(TEXT, 6, zlib.Z_HUFFMAN_ONLY))
    streams["inflate"].append(deflate(TEXT[:100], 9, zlib.Z_RLE))
    streams["inflate"].append(deflate(b"", 6))
    streams["http"] = http_replies()
    for t, items in streams.items():
        for i, data in enumerate(items):
            with open(os.path.join(dirs[t], "seed-%03d" % i), "wb") as f:
                f.write(data[:64 * 1024])


if __name__ == "__main__":
    main()
