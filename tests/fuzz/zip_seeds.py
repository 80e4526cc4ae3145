#!/usr/bin/env python3
"""Seeds for the ZIP fuzzers, written into the build folder: raw deflate streams (with the
fuzzer's three leading bytes) and small archives made with zipfile."""
import io, os, sys, zipfile, zlib

out = sys.argv[1]
inflate_dir = os.path.join(out, "zip_inflate")
archive_dir = os.path.join(out, "zip_archive")
os.makedirs(inflate_dir, exist_ok=True)
os.makedirs(archive_dir, exist_ok=True)
texts = [b"", b"a", b"hello hello hello hello", bytes(range(256)) * 8,
         b"".join(b"line %d of a text\n" % i for i in range(400))]
n = 0
for t in texts:
    for level in (0, 1, 6, 9):
        c = zlib.compressobj(level, zlib.DEFLATED, -15)
        stream = c.compress(t) + c.flush()
        for variant in (0, 1):
            with open(os.path.join(inflate_dir, "seed%d" % n), "wb") as f:
                f.write(bytes([variant, 64, 0]) + stream)
            n += 1
for i, method in enumerate((zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED)):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", method) as z:
        z.writestr("a.txt", texts[4])
        z.writestr("sub/b.bin", texts[3])
        z.writestr("sub/", b"")
        z.writestr("caf\u00e9.txt", b"utf-8 name")
    with open(os.path.join(archive_dir, "archive%d.zip" % i), "wb") as f:
        f.write(buf.getvalue())
