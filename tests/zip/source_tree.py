#!/usr/bin/env python3
"""Writes the source tree the ZIP scripts pack and unpack: compressible text, a table of bytes,
incompressible bytes, a block that repeats farther back than 32 KiB, an empty file, a file
without extension, nested folders and a read-only file.

    source_tree.py ROOT
"""
import os
import random
import sys

root = sys.argv[1]
for folder in ("docs/deep/er", "bin", "empty-dir-sibling"):
    os.makedirs(os.path.join(root, folder), exist_ok=True)
rnd = random.Random(5)
words = "rain cloud wind pressure front humidity dew frost hail storm".split()
with open(os.path.join(root, "docs", "readme.txt"), "w") as f:
    for i in range(4000):
        f.write(" ".join(rnd.choice(words) for _ in range(12)) + "\n")
with open(os.path.join(root, "bin", "data.bin"), "wb") as f:
    f.write(bytes((i * i + i // 7) & 0xFF for i in range(300000)))
with open(os.path.join(root, "bin", "noise.dat"), "wb") as f:
    f.write(os.urandom(200000))
with open(os.path.join(root, "docs", "deep", "er", "long-repeat.txt"), "wb") as f:
    block = os.urandom(50000)
    f.write(block * 6)  # repeats farther than 32 KiB back
open(os.path.join(root, "empty.txt"), "w").close()
with open(os.path.join(root, "LICENSE"), "w") as f:
    f.write("no extension\n")
ro = os.path.join(root, "empty-dir-sibling", "ro.txt")
with open(ro, "w") as f:
    f.write("read only\n")
os.chmod(ro, 0o444)
