#!/usr/bin/env bash
# Extraction benchmark: a package of about 100 MiB (some 2,000 files of text, binary and
# incompressible data in folders) packed by `zip -6` and, as Deflate64, by 7z, extracted by
# klu-unzip (native, then Win32 under Wine), Info-ZIP unzip, 7z and bsdtar, in alternation, five
# runs each. Prints the median times, klu-unzip's ratios to unzip and to the fastest peer, its
# peak resident memory, and `cp -r` of the same tree onto the same disk (the file system's limit).
#   KLU_BENCH_MB      package size in MiB (100)
#   KLU_BENCH_RUNS    runs per tool (5)
#   KLU_RELEASE_DIR   native build without sanitizers (build/release)
#   KLU_WIN32_DIR     Win32 build (build/win32); KLU_WINEPREFIX as for tests/wine/winebench
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
release=${KLU_RELEASE_DIR:-$root/build/release}
win32=${KLU_WIN32_DIR:-$root/build/win32}
work=${KLU_BENCH_WORK:-$root/build/bench-unzip}
mb=${KLU_BENCH_MB:-100}
runs=${KLU_BENCH_RUNS:-5}
mkdir -p "$work"

native_tool=$release/tools/klu-unzip
win32_tool=$win32/tools/klu-unzip.exe
[ -x "$native_tool" ] || { echo "bench/unzip: $native_tool missing (build the release preset)"; exit 1; }

wine_up=0
if [ -f "$win32_tool" ] && command -v wine >/dev/null; then
  if timeout 300 "$root/tests/wine/winebench" start >/dev/null 2>&1; then wine_up=1; fi
fi
stop_wine() { [ $wine_up = 1 ] && "$root/tests/wine/winebench" stop >/dev/null 2>&1; }
trap stop_wine EXIT

KLU_BENCH_REPORT_DIR=$root/build/bench timeout 3600 python3 - "$work" "$mb" "$runs" "$native_tool" "$win32_tool" "$wine_up" "$root/tests/wine/wine-run" <<'PY'
import os, random, shutil, statistics, subprocess, sys, time

work, mb, runs, native, win32, wine_up, wine_run = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), *sys.argv[4:]
wine_up = wine_up == "1"
tree = os.path.join(work, "tree-%d" % mb)
zip6 = os.path.join(work, "package-%d-zip6.zip" % mb)
zip64 = os.path.join(work, "package-%d-deflate64.zip" % mb)
out = os.path.join(work, "out")
report = os.path.join(os.environ.get("KLU_BENCH_REPORT_DIR", "build/bench"), "unzip.tsv")
os.makedirs(os.path.dirname(report), exist_ok=True)
open(report, "w").close()

def make_tree():
    rnd = random.Random(2026)
    words = ("pressure humidity front cloud rain wind gust frost dew point forecast radar "
             "station bulletin warning sunny overcast drizzle").split()
    total = mb * 1024 * 1024
    count = max(20, mb * 20)
    tmp = tree + ".tmp"
    shutil.rmtree(tmp, ignore_errors=True)
    written = 0
    for i in range(count):
        folder = os.path.join(tmp, "dir%02d" % (i % 37), "sub%d" % (i % 5))
        os.makedirs(folder, exist_ok=True)
        size = max(1, int(rnd.expovariate(1.0) * total / count))
        kind = i % 5
        with open(os.path.join(folder, "f%04d.%s" % (i, ("txt", "txt", "bin", "dat", "raw")[kind])), "wb") as f:
            if kind < 2:  # text
                line = " ".join(rnd.choice(words) for _ in range(14)).encode() + b"\n"
                chunk = b"".join((" ".join(rnd.choice(words) for _ in range(14)) + "\n").encode() for _ in range(200))
                f.write((chunk * (size // len(chunk) + 1))[:size])
            elif kind < 4:  # structured binary
                base = bytes((j * j + (j >> 3)) & 0xFF for j in range(4096))
                noise = os.urandom(size // 16 + 1)
                data = bytearray((base * (size // 4096 + 1))[:size])
                for j in range(0, size, 16):
                    data[j] = noise[j // 16]
                f.write(data)
            else:  # incompressible
                f.write(os.urandom(size))
        written += size
    os.rename(tmp, tree)
    return count, written

if not os.path.isdir(tree):
    print("building the package tree (%d MiB)..." % mb, flush=True)
    make_tree()
for archive, cmd in ((zip6, ["zip", "-q", "-r", "-6"]), (zip64, ["7z", "a", "-tzip", "-mm=Deflate64", "-mx=5"])):
    if not os.path.exists(archive):
        subprocess.run(cmd + [archive, "."], cwd=tree, check=True, stdout=subprocess.DEVNULL)

files = sum(len(f) for _, _, f in os.walk(tree))
size = sum(os.path.getsize(os.path.join(d, n)) for d, _, fs in os.walk(tree) for n in fs)
print("package: %d files, %.1f MiB; zip -6 %.1f MiB; Deflate64 %.1f MiB" %
      (files, size / 2**20, os.path.getsize(zip6) / 2**20, os.path.getsize(zip64) / 2**20), flush=True)

def wine_path(p):
    return "Z:" + p

def tools(archive):
    t = [("klu-unzip", lambda: [native, archive, out])]
    if wine_up:
        t.append(("klu-unzip.exe (Wine)", lambda: [wine_run, win32, wine_path(archive), wine_path(out)]))
    t += [("unzip", lambda: ["unzip", "-q", "-o", archive, "-d", out]),
          ("7z", lambda: ["7z", "x", "-y", "-bd", "-o" + out, archive]),
          ("bsdtar", lambda: ["bsdtar", "-xf", archive, "-C", out])]
    return t

def run_once(cmd):
    """Seconds, or None when the tool cannot extract this archive."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"])
    start = time.perf_counter()
    p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    return elapsed if p.returncode == 0 else None

def peak_memory_kib(archive):
    # GNU time reports the program's own peak; a child's rusage seen from here would include
    # this interpreter's pages copied at fork.
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    p = subprocess.run(["/usr/bin/time", "-f", "%M", native, archive, out], stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    try:
        return int(p.stderr.strip().splitlines()[-1])
    except (ValueError, IndexError):
        return None

for label, archive in (("zip -6", zip6), ("Deflate64 (7z)", zip64)):
    entries = tools(archive) + [("cp -r (file system)", lambda: ["cp", "-r", tree + "/.", out])]
    times = {name: [] for name, _ in entries}
    for r in range(runs):
        for name, cmd in entries:
            t = run_once(cmd())
            if t is None and name.startswith("klu-unzip"):
                raise SystemExit("failed: " + " ".join(cmd()))
            times[name].append(t)
    med = {name: statistics.median(v) for name, v in times.items() if None not in v}
    print("\n== %s, %d runs each, median seconds" % (label, runs))
    for name, _ in entries:
        print("  %-22s %s" % (name, "%7.3f" % med[name] if name in med else "    n/a (cannot extract it)"))
    peers = [n for n in ("unzip", "7z", "bsdtar") if n in med]
    fastest = min(peers, key=lambda n: med[n])
    if "unzip" in med:
        print("  ratio klu-unzip / unzip:              %.2f" % (med["klu-unzip"] / med["unzip"]))
    print("  ratio klu-unzip / fastest peer (%s): %.2f" % (fastest, med["klu-unzip"] / med[fastest]))
    print("  ratio klu-unzip / cp -r:              %.2f" % (med["klu-unzip"] / med["cp -r (file system)"]))
    if "klu-unzip.exe (Wine)" in med and "unzip" in med:
        print("  ratio klu-unzip.exe (Wine) / unzip:   %.2f" % (med["klu-unzip.exe (Wine)"] / med["unzip"]))
    peak = peak_memory_kib(archive) if os.path.exists("/usr/bin/time") else None
    print("  klu-unzip peak resident memory:       %s" % ("%.1f MiB" % (peak / 1024.0) if peak else "n/a (no /usr/bin/time)"))
    # Rows for the report: time ratio to the fastest of unzip, 7z and bsdtar.
    mib = os.path.getsize(archive) / 1048576.0
    with open(report, "a") as f:
        for name, _ in entries:
            if name not in med:
                continue
            f.write("%s\t%s\t%.3f\t%.1f\t%.2f\t%s\n" % (
                "unzip " + label, name, med[name], mib / med[name], med[name] / med[fastest],
                str(peak) if name == "klu-unzip" and peak else "-"))
shutil.rmtree(out, ignore_errors=True)
PY
