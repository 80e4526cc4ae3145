#!/usr/bin/env python3
"""Builds a benchmark package: about SIZE MiB in some files spread over folders, a mix of text,
binary and incompressible data, deflated at level 6. Deterministic for a given size.

    make_package.py SIZE_MIB OUT.zip [--files N] [--tree DIR]
With --tree the same files are also written as a folder tree (for copy baselines)."""
import argparse
import os
import random
import zipfile

WORDS = ("rain cloud wind pressure humidity forecast storm sun fog drizzle front gust "
         "temperature dew frost hail thunder breeze radar satellite").split()


def content(rng, kind, size):
    if kind == 0:  # text
        out = []
        n = 0
        while n < size:
            w = rng.choice(WORDS)
            out.append(w)
            n += len(w) + 1
        return (" ".join(out))[:size].encode()
    if kind == 1:  # structured binary: compresses somewhat
        block = bytes(rng.randrange(64) for _ in range(4096))
        return (block * (size // 4096 + 1))[:size]
    return rng.randbytes(size)  # incompressible


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("size_mib", type=int)
    ap.add_argument("out")
    ap.add_argument("--files", type=int, default=0)
    ap.add_argument("--tree")
    args = ap.parse_args()
    total = args.size_mib * 1024 * 1024
    files = args.files or max(20, args.size_mib * 20)
    rng = random.Random(args.size_mib)
    per = total // files
    with zipfile.ZipFile(args.out, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for i in range(files):
            name = "dir%02d/sub%d/file%05d.%s" % (i % 37, i % 5, i, ("txt", "bin", "dat")[i % 3])
            size = max(1, int(per * (0.5 + rng.random())))
            data = content(rng, i % 3, size)
            z.writestr(name, data)
            if args.tree:
                path = os.path.join(args.tree, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
