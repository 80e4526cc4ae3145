#!/usr/bin/env bash
# Signature check benchmark: a signed package of about 400 MiB (bench/make_package.py: 975 MiB of
# text, binary and incompressible files, deflated), extracted natively by klu-unzip as it is and by
# klu-unzip --key, which checks the signature first (SHA-256 over every byte, then ECDSA P-256), in
# alternation (each round in the other order), five runs each; and klu-sign verify, the check
# alone. The files are written to memory (/dev/shm), so that the disk's noise does not hide the
# check's cost and the extraction is as fast as it gets. Prints the medians and the check's share:
# klu-unzip --key / klu-unzip (the goal: at most 1.15).
#   KLU_BENCH_SIGN_MB  content of the package in MiB (975, which packs to about 400 MiB)
#   KLU_BENCH_RUNS     runs per tool (5)
#   KLU_BENCH_OUT      where the files are extracted (/dev/shm/klu-bench-signing)
#   KLU_RELEASE_DIR    native build without sanitizers (build/release)
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
release=${KLU_RELEASE_DIR:-$root/build/release}
work=${KLU_BENCH_WORK:-$root/build/bench-signing}
mb=${KLU_BENCH_SIGN_MB:-975}
outdir=${KLU_BENCH_OUT:-/dev/shm/klu-bench-signing}
runs=${KLU_BENCH_RUNS:-5}
unzip_tool=$release/tools/klu-unzip
sign_tool=$release/tools/klu-sign
for t in "$unzip_tool" "$sign_tool"; do
  [ -x "$t" ] || { echo "bench/signing: $t missing (build the release preset)"; exit 1; }
done
mkdir -p "$work" "$root/build/bench"
package=$work/package-$mb.zip
if [ ! -f "$package" ]; then
  echo "building the package ($mb MiB)..."
  timeout 1800 python3 "$root/bench/make_package.py" "$mb" "$package.tmp" && mv "$package.tmp" "$package" || exit 1
fi
# A key for this run only; the package is signed again with it.
rm -f "$work/key.pem" "$work/key.pub.pem"
"$sign_tool" keygen "$work/key.pem" "$work/key.pub.pem" >/dev/null || exit 1
"$sign_tool" sign "$work/key.pem" "$package" >/dev/null || exit 1

trap 'rm -rf "$outdir"' EXIT
timeout 3600 python3 - "$work" "$package" "$runs" "$unzip_tool" "$sign_tool" "$root/build/bench/signing.tsv" "$outdir" <<'PY'
import os, shutil, statistics, subprocess, sys, time

work, package, runs, unzip, sign, report, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), *sys.argv[4:]
key = os.path.join(work, "key.pub.pem")
entries = [("klu-unzip", [unzip, package, out]),
           ("klu-unzip --key", [unzip, "--key", key, package, out]),
           ("klu-sign verify", [sign, "verify", key, package])]

def run_once(cmd):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"])
    start = time.perf_counter()
    p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        raise SystemExit("failed: " + " ".join(cmd))
    return elapsed

times = {name: [] for name, _ in entries}
for r in range(runs):
    for name, cmd in (entries if r % 2 == 0 else entries[1::-1] + entries[2:]):
        times[name].append(run_once(cmd))
med = {name: statistics.median(v) for name, v in times.items()}
mib = os.path.getsize(package) / 1048576.0
print("package: %.1f MiB, signed; extracted to %s; %d runs each, median seconds" % (mib, out, runs))
for name, _ in entries:
    print("  %-18s %7.3f  (%.0f MiB/s)" % (name, med[name], mib / med[name]))
ratio = med["klu-unzip --key"] / med["klu-unzip"]
print("  ratio klu-unzip --key / klu-unzip: %.3f (goal: at most 1.15)" % ratio)
with open(report, "w") as f:
    f.write("verify %.0f MiB\tklu-unzip --key\t%.3f\t%.1f\t%.2f\t-\n" % (mib, med["klu-unzip --key"],
                                                                        mib / med["klu-unzip --key"], ratio))
    f.write("verify %.0f MiB\tklu-sign verify (check alone)\t%.3f\t%.1f\t%.2f\t-\n" % (
        mib, med["klu-sign verify"], mib / med["klu-sign verify"], med["klu-sign verify"] / med["klu-unzip"]))
shutil.rmtree(out, ignore_errors=True)
PY
