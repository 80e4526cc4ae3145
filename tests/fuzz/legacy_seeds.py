#!/usr/bin/env python3
"""Seeds for the legacy decoders' fuzzers: every shrunk, reduced and imploded entry of the shared
test archives, as a parameter byte, the 24-bit stored size and the entry's compressed bytes
(the layout of LegacyFuzzInput.h). Usage: legacy_seeds.py VECTORS_DIR OUT_DIR"""
import os
import struct
import sys
import zipfile


def main():
    vectors, out = sys.argv[1], sys.argv[2]
    count = 0
    for archive in sorted(os.listdir(vectors)):
        if not archive.lower().endswith(".zip"):
            continue
        path = os.path.join(vectors, archive)
        with zipfile.ZipFile(path) as z, open(path, "rb") as raw:
            for i, info in enumerate(z.infolist()):
                method = info.compress_type
                if method < 1 or method > 6 or info.file_size >= 1 << 20:
                    continue
                raw.seek(info.header_offset)
                local = raw.read(30)
                name_len, extra_len = struct.unpack("<HH", local[26:30])
                raw.seek(info.header_offset + 30 + name_len + extra_len)
                data = raw.read(info.compress_size)
                if method == 1:
                    target, params = "unshrink", 0
                elif method <= 5:
                    target, params = "unreduce", method - 2
                else:
                    target, params = "explode", info.flag_bits & 6
                folder = os.path.join(out, target)
                os.makedirs(folder, exist_ok=True)
                seed = bytes([params]) + struct.pack("<I", info.file_size)[:3] + data
                with open(os.path.join(folder, "%s-%d" % (archive, i)), "wb") as f:
                    f.write(seed)
                count += 1
    print("legacy fuzz seeds: %d" % count)


if __name__ == "__main__":
    main()
