#!/usr/bin/env bash
# Archives made by the real writers of this system, in the layouts they choose when they stream:
# Info-ZIP zip with -fd and through pipes, 7z to standard output and from standard input,
# bsdtar's (libarchive's) writer, Python's zipfile on an unseekable stream and the JDK's jar.
# Each archive's layout is read from its bytes (zip_layout.py) and must be the one the case is
# there for; klu-unzip must extract it with exit status 0, every file "ok", into a tree equal to
# the source byte for byte. Prints the writer -> layout table.
#   writers.sh KLU_UNZIP [RUNNER]     RUNNER: tests/wine/wine-run for the Win32 build
here=$(cd "$(dirname "$0")" && pwd)
. "$here/unzip-script.sh"

# --- the source tree (source_tree.py) and a folder with nothing in it
src=$work/src
python3 "$here/source_tree.py" "$src"
mkdir -p "$src/empty-folder"
single=$src/docs/readme.txt  # the file the single-entry pipe cases carry

arch=$work/archives
mkdir -p "$arch"
declare -A expect  # archive -> the layout traits it must show, "|" between them
declare -A tree    # archive -> "all" (the source tree) or "single" (one entry "-" or "readme.txt")
write() {  # name tree expected-traits command...
  local name=$1; tree[$name]=$2; expect[$name]=$3; shift 3
  if ! (cd "$src" && "$@") ; then fail "$name: the writer failed"; fi
}
A=$arch
write zip-fd all "streamed (method 8): local real size beside zero CRC and compressed size|folders: slash + attribute 0x10" \
  zip -q -r -fd "$A/zip-fd.zip" .
write zip-fd-nofolders all "streamed (method 8): local real size beside zero CRC and compressed size" \
  zip -q -r -D -fd "$A/zip-fd-nofolders.zip" .
write zip-to-pipe all "streamed (method 8): local real size beside zero CRC and compressed size" \
  sh -c 'zip -q -r - . | cat > "$0"' "$A/zip-to-pipe.zip"
write zip-from-pipe single "Zip64 local headers|end: Zip64 end record" \
  sh -c 'cat "$1" | zip -q "$0" -' "$A/zip-from-pipe.zip" "$single"
write zip-pipe-to-pipe single "streamed (method 8): local CRC and sizes zero in Zip64 fields|descriptor with signature, 64-bit sizes" \
  sh -c 'cat "$1" | zip -q - - | cat > "$0"' "$A/zip-pipe-to-pipe.zip" "$single"
write 7z all "folders: slash + attribute 0x10|methods 0,8" \
  sh -c '7z a -tzip "$0" . > /dev/null' "$A/7z.zip"
write 7z-deflate64-to-pipe all "streamed (method 9): local CRC and sizes zero|descriptor with signature, 32-bit sizes" \
  sh -c '7z a -tzip -mm=Deflate64 -so . 2>/dev/null | cat > "$0"' "$A/7z-deflate64-to-pipe.zip"
write 7z-from-pipe single "Zip64 local headers" \
  sh -c 'cat "$1" | 7z a -tzip -sireadme.txt "$0" > /dev/null' "$A/7z-from-pipe.zip" "$single"
write bsdtar all "streamed (method 8): local real size beside zero CRC and compressed size|folders: slash, no attribute" \
  sh -c 'bsdtar --format zip -cf - . | cat > "$0"' "$A/bsdtar.zip"
write bsdtar-stored all "streamed (method 0): local real sizes beside zero CRC" \
  sh -c 'bsdtar --format zip --options zip:compression=store -cf - . | cat > "$0"' "$A/bsdtar-stored.zip"
write bsdtar-zip64 all "streamed (method 8): local real size beside zero CRC and compressed size in Zip64 fields|descriptor with signature, 64-bit sizes|end: Zip64 end record" \
  sh -c 'bsdtar --format zip --options zip:zip64 -cf - . | cat > "$0"' "$A/bsdtar-zip64.zip"
# python-unseekable-stored, -deflated, -zip64: METHOD FORCE_ZIP64
for variant in "stored 0 0" "deflated 8 0" "zip64 8 1"; do
  set -- $variant
  traits="streamed (method $2): local CRC and sizes zero"
  [ "$3" = 1 ] && traits="$traits in Zip64 fields|descriptor with signature, 64-bit sizes"
  write "python-unseekable-$1" all "$traits" python3 - "$A/python-unseekable-$1.zip" "$2" "$3" <<'PY'
import os, sys, zipfile
class Unseekable:  # a pipe: it can tell how much went through, never go back
    def __init__(self, f): self.f, self.n = f, 0
    def write(self, b): self.n += len(b); return self.f.write(b)
    def tell(self): return self.n
    def flush(self): self.f.flush()
with open(sys.argv[1], "wb") as raw, zipfile.ZipFile(Unseekable(raw), "w") as z:
    for folder, _, names in sorted(os.walk(".")):
        for n in sorted(names):
            path = os.path.join(folder, n)
            info = zipfile.ZipInfo.from_file(path)
            info.compress_type = int(sys.argv[2])
            with open(path, "rb") as f, z.open(info, "w", force_zip64=sys.argv[3] == "1") as w:
                w.write(f.read())
PY
done
if command -v jar > /dev/null; then
  write jar all "streamed (method 8): local CRC and sizes zero|folders: slash, no attribute|UTF-8 names" \
    jar cfM "$A/jar.zip" .
else
  echo "SKIP: jar (no JDK)"
fi

# --- each archive: its layout, then klu-unzip
printf '%-27s %s\n' writer layout > "$work/table"
for a in "$arch"/*.zip; do
  name=$(basename "$a" .zip)
  layout=$(python3 "$here/zip_layout.py" "$a") || { fail "$name: layout unreadable"; continue; }
  printf '%-27s %s\n' "$name" "$layout" >> "$work/table"
  IFS='|' read -r -a traits <<< "${expect[$name]}"
  for t in "${traits[@]}"; do
    case "; $layout;" in *"; $t;"*) ;; *) fail "$name: layout lacks \"$t\"" ;; esac
  done
  out=$work/out/$name
  mkdir -p "$out"
  run_klu "$a" "$out" > "$work/$name.log"; rc=$?
  [ $rc = 0 ] || { fail "$name: klu-unzip exit status $rc"; grep -v '^ok \|^file ' "$work/$name.log" | head -5; }
  files=$(grep -c '^file ' "$work/$name.log")
  [ "$(grep -c '^ok ' "$work/$name.log")" = "$files" ] || fail "$name: not every file ok"
  if [ "${tree[$name]}" = single ]; then
    got=$(find "$out" -type f)
    [ "$(echo "$got" | wc -l)" = 1 ] && cmp -s "$got" "$single" || fail "$name: the one entry differs from its source"
  else
    [ "$files" = "$(find "$src" -type f | wc -l)" ] || fail "$name: $files files begun"
    (cd "$src" && find . -type f | sort) > "$work/want"
    (cd "$out" && find . -type f | sort) > "$work/got"
    cmp -s "$work/want" "$work/got" || { fail "$name: other files"; diff "$work/want" "$work/got" | head -5; }
    while read -r f; do cmp -s "$src/$f" "$out/$f" || fail "$name: $f differs"; done < "$work/want"
  fi
done
cat "$work/table"
count=$(ls "$arch" | wc -l)
if [ $failures -ne 0 ]; then echo "writers: $failures failures"; exit 1; fi
echo "writers: $count archives from real writers, each in its layout, extracted whole"
