#!/usr/bin/env python3
"""Prints the layout an archive's writer chose, one line: the end records, the methods, how the
local headers of streamed entries (data-descriptor flag) state their CRC and sizes, the
descriptors' form, and how folders are marked. Reads the records itself, field by field, so that
it shows what the bytes say and not what a ZIP library makes of them.

    zip_layout.py ARCHIVE
"""
import struct
import sys

LOCAL, CENTRAL, DESCRIPTOR = b"PK\x03\x04", b"PK\x01\x02", b"PK\x07\x08"
END, ZIP64_END, ZIP64_LOCATOR = b"PK\x05\x06", b"PK\x06\x06", b"PK\x06\x07"
ONES = 0xFFFFFFFF


def extra_fields(data):
    fields, i = {}, 0
    while i + 4 <= len(data):
        tag, size = struct.unpack_from("<HH", data, i)
        fields[tag] = data[i + 4:i + 4 + size]
        i += 4 + size
    return fields


def zip64_sizes(extra, usize, csize):
    """The sizes after the Zip64 field (tag 1) replaced those at all ones (APPNOTE 4.5.3)."""
    field, i = extra_fields(extra).get(1, b""), 0
    if usize == ONES and i + 8 <= len(field):
        usize = struct.unpack_from("<Q", field, i)[0]
        i += 8
    if csize == ONES and i + 8 <= len(field):
        csize = struct.unpack_from("<Q", field, i)[0]
    return usize, csize


def main(path):
    data = open(path, "rb").read()
    end = data.rfind(END)
    count, dir_size, dir_offset = struct.unpack_from("<HII", data, end + 10)
    traits = set()
    record_end = end
    if data[end - 20:end - 16] == ZIP64_LOCATOR:
        zip64_end = struct.unpack_from("<Q", data, end - 12)[0]
        count, dir_size, dir_offset = struct.unpack_from("<QQQ", data, zip64_end + 32)
        traits.add("end: Zip64 end record")
        record_end = end - 20 - 56
    else:
        traits.add("end: plain")
    shift = record_end - dir_size - dir_offset
    if shift:
        traits.add("%d bytes before the archive" % shift)
    pos = dir_offset + shift
    methods = set()
    for _ in range(count):
        assert data[pos:pos + 4] == CENTRAL, "central record expected at %d" % pos
        made, flags, method = struct.unpack_from("<HxxHH", data, pos + 4)
        crc, csize, usize, name_len, extra_len, comment_len = struct.unpack_from("<IIIHHH", data, pos + 16)
        external, offset = struct.unpack_from("<II", data, pos + 38)
        name = data[pos + 46:pos + 46 + name_len]
        central_extra = data[pos + 46 + name_len:pos + 46 + name_len + extra_len]
        if ONES in (usize, csize):
            traits.add("Zip64 fields in central records")
        usize, csize = zip64_sizes(central_extra, usize, csize)
        pos += 46 + name_len + extra_len + comment_len
        methods.add(method)
        if flags & 0x0800:
            traits.add("UTF-8 names")
        dos = external & 0xFF if made >> 8 in (0, 3, 10, 11, 14, 19) else 0
        if name.endswith(b"/") or dos & 0x10:
            traits.add("folders: " + ("slash" if name.endswith(b"/") else "no slash") +
                       (" + attribute 0x10" if dos & 0x10 else ", no attribute"))
            continue
        local = offset + shift
        assert data[local:local + 4] == LOCAL, "local header expected at %d" % local
        lcrc, lcsize, lusize, lname_len, lextra_len = struct.unpack_from("<IIIHH", data, local + 14)
        local_extra = data[local + 30 + lname_len:local + 30 + lname_len + lextra_len]
        zip64_local = lcsize == ONES or lusize == ONES
        lusize, lcsize = zip64_sizes(local_extra, lusize, lcsize)
        if zip64_local:
            traits.add("Zip64 local headers")
        stated = [v == w for v, w in ((lcrc, crc), (lcsize, csize), (lusize, usize))]
        if usize == 0:
            pass  # an empty file's zeros tell nothing about how its writer streams
        elif flags & 0x0008:
            said = {(0, 0, 0): "CRC and sizes zero", (0, 0, 1): "real size beside zero CRC and compressed size",
                    (0, 1, 1): "real sizes beside zero CRC", (1, 1, 1): "all stated"}
            key = tuple(int(s and v != 0) for s, v in zip(stated, (lcrc, lcsize, lusize)))
            traits.add("streamed (method %d): local %s%s" % (method, said.get(key, "mixed %s" % (key,)),
                                                            " in Zip64 fields" if zip64_local else ""))
            at = local + 30 + lname_len + lextra_len + csize
            signed = data[at:at + 4] == DESCRIPTOR
            body = at + (4 if signed else 0)
            wide = struct.unpack_from("<QQ", data, body + 4) == (csize, usize) if body + 20 <= len(data) else False
            traits.add("descriptor %s signature, %s sizes" % ("with" if signed else "without", "64-bit" if wide else
                                                              "32-bit"))
        elif not all(stated):
            traits.add("local values differ")
    traits.add("methods " + ",".join(str(m) for m in sorted(methods)))
    print("; ".join(sorted(traits)))


if __name__ == "__main__":
    main(sys.argv[1])
