#!/usr/bin/env python3
"""Collects the rows that the benchmarks wrote (build/bench/*.tsv: workload, tool, median seconds,
MiB/s, ratio to its peer, peak memory KiB), prints one table, writes build/bench/report.md and a
bar chart of the ratios, build/bench/report.png (gnuplot)."""
import glob
import os
import subprocess
import sys

out_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
rows = []
for path in sorted(glob.glob(os.path.join(out_dir, "*.tsv"))):
    with open(path) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                rows.append(line.rstrip("\n").split("\t"))
if not rows:
    print("no benchmark rows found in", out_dir)
    sys.exit(0)

header = ["workload", "tool", "median s", "MiB/s", "ratio to peer", "peak memory"]
def mem(kib):
    return "" if kib in ("", "-") else "%.1f MiB" % (int(kib) / 1024.0)
table = [header] + [[r[0], r[1], r[2], r[3], r[4], mem(r[5])] for r in rows]
widths = [max(len(row[i]) for row in table) for i in range(len(header))]
lines = ["| " + " | ".join(c.ljust(widths[i]) for i, c in enumerate(row)) + " |" for row in table]
lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
text = "\n".join(lines)
print(text)
with open(os.path.join(out_dir, "report.md"), "w") as f:
    f.write("# Benchmark report\n\nRatios are against the peer measured in the same run "
            "(below 1.0: faster than the peer).\n\n" + text + "\n")

ratios = [(r[0] + " / " + r[1], r[4]) for r in rows if r[4] not in ("", "-")]
if ratios:
    data = os.path.join(out_dir, "ratios.dat")
    with open(data, "w") as f:
        for i, (label, ratio) in enumerate(ratios):
            f.write('%d "%s" %s\n' % (i, label.replace('"', "'"), ratio))
    script = """
set terminal png size 1100,%d
set output '%s'
set style fill solid 0.8
set boxwidth 0.6
set xlabel 'ratio to peer (lower is better)'
set ytics nomirror
unset key
set yrange [-1:%d]
set xrange [0:*]
set arrow from 1, graph 0 to 1, graph 1 nohead lc rgb 'red'
plot '%s' using (0.5*$3):1:(0.5*$3):(0.3):yticlabels(2) with boxxyerror lc rgb '#3b7dd8'
""" % (120 + 40 * len(ratios), os.path.join(out_dir, "report.png"), len(ratios), data)
    try:
        subprocess.run(["gnuplot"], input=script.encode(), check=True)
    except (OSError, subprocess.CalledProcessError) as e:
        print("report.png not drawn:", e)
