#!/usr/bin/env bash
# Cross-check of klu-unzip against independent ZIP tools: archives made here by Info-ZIP zip
# (levels 0 to 9, with and without folder entries), 7z (Deflate and Deflate64) and Python's
# zipfile (stored, deflated, Zip64 fields, data descriptors), extracted by klu-unzip and by
# unzip or 7z; the trees must match byte for byte, with the same dates and the read-only file
# read-only. Then refused names and damaged archives: exit status, no file outside the folder.
#   crosscheck.sh KLU_UNZIP [RUNNER]     RUNNER: tests/wine/wine-run for the Win32 build
. "$(dirname "$0")/unzip-script.sh"

# --- the source tree: text, binary, incompressible, empty, no extension, nested, Latin-1 name
src=$work/src
python3 "$(dirname "$0")/source_tree.py" "$src"
# Even seconds: DOS times keep two-second steps.
find "$src" -type f -exec touch -d "2024-05-06 07:08:10" {} +
touch -d "2023-01-02 03:04:06" "$src/docs/readme.txt"

arch=$work/archives
mkdir -p "$arch"
for level in 0 1 2 3 4 5 6 7 8 9; do
  (cd "$src" && zip -q -r -$level "$arch/zip-$level.zip" .) || fail "zip -$level"
done
(cd "$src" && zip -q -r -D -6 "$arch/zip-nofolders.zip" .) || fail "zip -D"
# A non-ASCII name, for the tools that flag UTF-8 names (Info-ZIP on Unix stores the bytes of the
# local character set unflagged, which an OEM reading turns into other characters).
printf 'latin-1 name\n' > "$src/caf$(printf '\xc3\xa9').txt"
touch -d "2024-05-06 07:08:10" "$src/caf$(printf '\xc3\xa9').txt"
(cd "$src" && 7z a -tzip -mm=Deflate -mx=9 "$arch/7z-deflate.zip" . >/dev/null) || fail "7z deflate"
(cd "$src" && 7z a -tzip -mm=Deflate64 -mx=9 "$arch/7z-deflate64.zip" . >/dev/null) || fail "7z deflate64"
python3 - "$src" "$arch" <<'PY' || fail "python zipfile"
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
files = []
for d, _, names in os.walk(src):
    for n in sorted(names):
        p = os.path.join(d, n)
        files.append((p, os.path.relpath(p, src)))
def write(name, method, **kw):
    with zipfile.ZipFile(os.path.join(out, name), "w", method) as z:
        for p, rel in files:
            info = zipfile.ZipInfo.from_file(p, rel)
            info.compress_type = method
            with open(p, "rb") as f, z.open(info, "w", **kw) as w:
                w.write(f.read())
write("py-stored.zip", zipfile.ZIP_STORED)
write("py-deflated.zip", zipfile.ZIP_DEFLATED)
write("py-zip64.zip", zipfile.ZIP_DEFLATED, force_zip64=True)
# Written to a pipe, zipfile cannot seek back: every entry gets a data descriptor.
class Pipe:
    def __init__(self, f): self.f = f; self.n = 0
    def write(self, b): self.n += len(b); return self.f.write(b)
    def tell(self): return self.n
    def flush(self): self.f.flush()
with open(os.path.join(out, "py-descriptors.zip"), "wb") as raw:
    with zipfile.ZipFile(Pipe(raw), "w", zipfile.ZIP_DEFLATED) as z:
        for p, rel in files:
            with open(p, "rb") as f:
                z.writestr(zipfile.ZipInfo(rel, date_time=(2024, 5, 6, 7, 8, 10)), f.read())
PY

# --- each archive by klu-unzip and by a reference tool
compare_trees() {  # ours reference label
  if ! diff -r -x "$exclude" "$1" "$2" >/dev/null; then fail "$3: trees differ"; diff -rq "$1" "$2" | head -5; return; fi
  (cd "$2" && find . -type f) | while read -r f; do
    case $f in ./$exclude) continue ;; esac
    if [ "$(stat -c %Y "$1/$f")" != "$(stat -c %Y "$2/$f")" ]; then echo "FAIL: $3: date of $f"; fi
  done | grep -q FAIL && fail "$3: dates differ"
  return 0
}
for a in "$arch"/*.zip; do
  name=$(basename "$a" .zip)
  exclude=none
  case $name in zip-*) exclude='caf*' ;; esac  # made before the non-ASCII file
  ours=$work/out/$name/klu
  ref=$work/out/$name/ref
  mkdir -p "$ours" "$ref"
  if ! run_klu "$a" "$ours" > "$work/out/$name/log"; then fail "$name: klu-unzip exit status $?"; fi
  if ! timeout 300 unzip -q -o "$a" -d "$ref" 2>/dev/null; then
    rm -rf "$ref"; mkdir -p "$ref"
    timeout 300 7z x -y -o"$ref" "$a" >/dev/null || fail "$name: reference extraction"
  fi
  # Info-ZIP's and 7z's handling of the read-only bit differs from ours; compare content and dates.
  chmod -R u+w "$ours" "$ref"
  if [ "$name" = py-descriptors ]; then  # dates were given in the archive only
    diff -r "$ours" "$ref" >/dev/null || fail "$name: trees differ"
  else
    compare_trees "$ours" "$src" "$name (source)"
    compare_trees "$ours" "$ref" "$name (reference)"
  fi
  grep -q '^file ' "$work/out/$name/log" || fail "$name: no file lines"
  [ "$(grep -c '^ok ' "$work/out/$name/log")" = "$(grep -c '^file ' "$work/out/$name/log")" ] || fail "$name: not every file ok"
done
# Read-only comes back read-only (Info-ZIP stores it as DOS attribute 0x01).
run_klu "$arch/zip-6.zip" "$work/ro" >/dev/null
[ -w "$work/ro/empty-dir-sibling/ro.txt" ] && [ "$(id -u)" != 0 ] && fail "read-only file writable"
[ "$(stat -c %a "$work/ro/empty-dir-sibling/ro.txt" | cut -c1)" = 4 ] || fail "read-only attribute not applied"

# --- refused names, damaged archives
python3 - "$work" <<'PY'
import sys, zipfile
w = sys.argv[1]
with zipfile.ZipFile(w + "/unsafe.zip", "w") as z:
    z.writestr("../escape.txt", "x")
    z.writestr("a/../../escape2.txt", "x")
    z.writestr("ok.txt", "fine")
data = open(w + "/archives/zip-6.zip", "rb").read()
open(w + "/half.zip", "wb").write(data[: len(data) // 2])
bad = bytearray(data)
for i in range(200, len(bad) - 200, 997):
    bad[i] ^= 0x55
open(w + "/flipped.zip", "wb").write(bad)
open(w + "/notzip.zip", "wb").write(b"this is not an archive\n" * 10)
PY
mkdir -p "$work/unsafe/inside"
run_klu "$work/unsafe.zip" "$work/unsafe/inside" > "$work/unsafe.log"; rc=$?
[ $rc = 1 ] || fail "unsafe names: exit $rc"
[ "$(grep -c 'unsafe name' "$work/unsafe.log")" = 2 ] || fail "unsafe names not reported"
[ -e "$work/unsafe/escape.txt" ] || [ -e "$work/escape2.txt" ] && fail "a file escaped the folder"
[ "$(cat "$work/unsafe/inside/ok.txt")" = fine ] || fail "the safe entry after the unsafe ones"
for damaged in half flipped; do
  mkdir -p "$work/$damaged/inside"
  run_klu "$work/$damaged.zip" "$work/$damaged/inside" > /dev/null; rc=$?
  [ $rc = 1 ] || [ $rc = 2 ] || fail "$damaged: exit $rc"
  [ "$(ls -A "$work/$damaged" | tr '\n' ' ')" = "inside " ] || fail "$damaged: wrote outside the folder"
done
run_klu "$work/notzip.zip" "$work/notzip" > /dev/null 2>&1; rc=$?
[ $rc = 2 ] || fail "not a zip: exit $rc"
run_klu "$work/missing.zip" "$work/missing" > /dev/null 2>&1; rc=$?
[ $rc = 2 ] || fail "missing archive: exit $rc"

count=$(ls "$arch" | wc -l)
if [ $failures -ne 0 ]; then echo "crosscheck: $failures failures"; exit 1; fi
echo "crosscheck: $count archives extracted and compared, refused names and damaged archives handled"
