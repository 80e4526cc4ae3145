#!/usr/bin/env bash
# Signed packages with the real cryptography, against the format's second signer
# (sign_package.py: hashlib and the openssl tool) and the ZIP tools.
#   signing_test.sh native KLU_SIGN KLU_UNZIP    klu-sign's round trips and refusals, the check
#                                                of klu-unzip --key (libcrypto)
#   signing_test.sh wine KLU_UNZIP_EXE RUNNER    the check of the Win32 klu-unzip --key (CNG)
# Every case: its exit status and text, nothing extracted from a refused package, and no file
# changed by a refusal.
set -u
mode=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
signer="python3 $here/sign_package.py"
work=$(mktemp -d "${TMPDIR:-/tmp}/klu-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0
check() {  # NAME EXPECTED ACTUAL
  checks=$((checks + 1))
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
same_file() {  # NAME FILE COPY
  checks=$((checks + 1))
  if ! cmp -s "$2" "$3"; then echo "FAIL $1: $2 changed"; failures=$((failures + 1)); fi
}

# A package as a publisher makes it: Info-ZIP zip, deflated and stored entries, a folder.
mkdir -p "$work/src/data"
printf 'MZ stand-in\r\n' > "$work/src/Pluvion.exe"
printf 'echo done\r\n' > "$work/src/LiveUpdate.bat"
python3 -c "import sys; sys.stdout.buffer.write(bytes(range(256)) * 400)" > "$work/src/data/stations.bin"
(cd "$work/src" && zip -q -r ../package.zip Pluvion.exe data && zip -q -0 ../package.zip LiveUpdate.bat)
timeout 60 $signer keygen "$work/pub-priv.pem" "$work/pub.pem" || exit 1
timeout 60 $signer keygen "$work/other-priv.pem" "$work/other.pem" || exit 1
timeout 120 $signer variants "$work/pub-priv.pem" "$work/other-priv.pem" "$work/package.zip" "$work/cases" || exit 1

# klu-unzip --key on every case: the signed one extracts, every other one is refused whole.
# Its arguments are paths as the program sees them (Z: under Wine).
unzip_key() {  # RUNNER KLU KEY ARCHIVE FOLDER
  local runner=$1 klu=$2 key=$3 archive=$4 folder=$5
  if [ -n "$runner" ]; then key="Z:$key" archive="Z:$archive" folder="Z:$folder"; fi
  timeout 120 $runner "$klu" --key "$key" "$archive" "$folder"
}
check_cases() {  # RUNNER KLU
  local runner=$1 klu=$2 name text out rc
  while IFS=$'\t' read -r name text; do
    cp "$work/cases/$name.zip" "$work/before.zip"
    rm -rf "$work/out"; mkdir -p "$work/out"
    out=$(unzip_key "$runner" "$klu" "$work/pub.pem" "$work/cases/$name.zip" "$work/out" 2>&1); rc=$?
    out=${out//$'\r'/}  # a Win32 console program's line ends
    if [ "$text" == "-" ]; then
      check "$name: klu-unzip --key exit" 0 "$rc"
      check "$name: the files" "$(cd "$work/src" && find . -type f | sort | xargs md5sum)" \
        "$(cd "$work/out" && find . -type f | sort | xargs md5sum)"
    else
      check "$name: klu-unzip --key exit" 1 "$rc"
      check "$name: klu-unzip --key text" "archive: $text" "$out"
      check "$name: nothing extracted" "" "$(find "$work/out" -mindepth 1)"
    fi
    same_file "$name: klu-unzip --key" "$work/cases/$name.zip" "$work/before.zip"
  done < "$work/cases/cases.tsv"
  out=$(unzip_key "$runner" "$klu" "$work/src/Pluvion.exe" "$work/cases/signed.zip" "$work/out" 2>&1)
  check "klu-unzip --key with no key in the file: exit" 2 "$?"
}

if [ "$mode" == "wine" ]; then
  check_cases "$3" "$2"
  echo "signing ($mode): $checks checks, $failures failed"
  [ "$failures" -eq 0 ]
  exit
fi

sign=$2
check_cases "" "$3"

# klu-sign verify on every case: "signed by KEYID" or the installer's text, exit 0 or 1.
id=$(timeout 60 "$sign" verify "$work/pub.pem" "$work/cases/signed.zip"); check "verify signed: exit" 0 "$?"
[[ "$id" =~ ^signed\ by\ [0-9a-f]{16}$ ]]; check "verify signed: text [$id]" 0 "$?"
while IFS=$'\t' read -r name text; do
  [ "$text" == "-" ] && continue
  out=$(timeout 60 "$sign" verify "$work/pub.pem" "$work/cases/$name.zip"); rc=$?
  check "verify $name: exit" 1 "$rc"
  check "verify $name: text" "$text" "${out%%$'\n'*}"
done < "$work/cases/cases.tsv"
out=$(timeout 60 "$sign" verify "$work/other.pem" "$work/cases/signed.zip"); check "verify with another key: exit" 1 "$?"
check "verify with another key: names both keys" 2 "$(grep -c '' <<< "$out")"

# Round trips: keygen, sign, verify; the second signer agrees; signing again replaces the signature.
k=$work/keys; mkdir -p "$k"
timeout 60 "$sign" keygen "$k/priv.pem" "$k/pub.pem" >/dev/null; check "keygen: exit" 0 "$?"
check "keygen: the private key is the owner's alone" 600 "$(stat -c %a "$k/priv.pem")"
cp "$k/priv.pem" "$k/priv.copy"
timeout 60 "$sign" keygen "$k/priv.pem" "$k/new.pem" >/dev/null 2>&1; check "keygen over an existing key: exit" 1 "$?"
same_file "keygen over an existing key" "$k/priv.pem" "$k/priv.copy"
check "keygen over an existing key: no public file" "" "$(ls "$k/new.pem" 2>/dev/null)"
cp "$work/package.zip" "$k/p.zip"
timeout 60 "$sign" sign "$k/priv.pem" "$k/p.zip" >/dev/null; check "sign: exit" 0 "$?"
check "sign: one comment more" $(( $(stat -c %s "$work/package.zip") + 154 )) "$(stat -c %s "$k/p.zip")"
timeout 60 "$sign" verify "$k/pub.pem" "$k/p.zip" >/dev/null; check "sign, verify: exit" 0 "$?"
timeout 60 $signer verify "$k/pub.pem" "$k/p.zip"; check "the second signer verifies klu-sign's signature" 0 "$?"
check "sign: nothing else changed" "$(head -c $(( $(stat -c %s "$work/package.zip") - 2 )) "$work/package.zip" | md5sum)" \
  "$(head -c $(( $(stat -c %s "$work/package.zip") - 2 )) "$k/p.zip" | md5sum)"
timeout 60 "$sign" sign "$work/other-priv.pem" "$k/p.zip" >/dev/null; check "sign again with another key: exit" 0 "$?"
check "sign again: the signature is replaced" $(( $(stat -c %s "$work/package.zip") + 154 )) "$(stat -c %s "$k/p.zip")"
timeout 60 "$sign" verify "$work/other.pem" "$k/p.zip" >/dev/null; check "sign again: the new key verifies" 0 "$?"
timeout 60 "$sign" verify "$k/pub.pem" "$k/p.zip" >/dev/null; check "sign again: the old key does not" 1 "$?"
timeout 60 "$sign" sign "$k/priv.pem" "$k/p.zip" >/dev/null
unzip -tq "$k/p.zip" >/dev/null; check "unzip -t of a signed package" 0 "$?"
7z t "$k/p.zip" >/dev/null; check "7z t of a signed package" 0 "$?"
python3 -c "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(z.testzip() is not None or len(z.namelist()) != 4)" \
  "$k/p.zip"; check "Python's zipfile reads a signed package" 0 "$?"

# Refusals: each leaves the package as it was.
cp "$work/package.zip" "$k/commented.zip"; echo "built on Tuesday" | zip -q -z "$k/commented.zip"
head -c 300 "$work/package.zip" > "$k/cut.zip"
{ cat "$work/package.zip"; printf 'trailer'; } > "$k/trailing.zip"
printf 'not a zip at all' > "$k/text.zip"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out "$k/p384.pem" 2>/dev/null
for name in commented cut trailing text; do
  cp "$k/$name.zip" "$k/before.zip"
  out=$(timeout 60 "$sign" sign "$k/priv.pem" "$k/$name.zip" 2>&1); check "sign $name: exit" 1 "$?"
  [[ "$out" == klu-sign:*"not signed" ]]; check "sign $name: says why [$out]" 0 "$?"
  same_file "sign $name" "$k/$name.zip" "$k/before.zip"
done
for key in "$k/p384.pem" "$k/pub.pem" "$k/missing.pem"; do
  cp "$k/p.zip" "$k/before.zip"
  timeout 60 "$sign" sign "$key" "$k/p.zip" 2>/dev/null; rc=$?
  check "sign with ${key##*/}: exit" 2 "$rc"
  same_file "sign with ${key##*/}" "$k/p.zip" "$k/before.zip"
done
timeout 60 "$sign" verify "$k/priv.pem" "$k/p.zip" >/dev/null 2>&1; check "verify with a private key file: exit" 2 "$?"
timeout 60 "$sign" 2>/dev/null; check "no command: exit" 2 "$?"
timeout 60 "$sign" sign "$k/priv.pem" 2>/dev/null; check "a missing argument: exit" 2 "$?"
timeout 60 "$sign" check "$k/pub.pem" "$k/p.zip" 2>/dev/null; check "an unknown command: exit" 2 "$?"
check "no temporary file is left" "" "$(ls "$k" | grep klu-sign)"

echo "signing ($mode): $checks checks, $failures failed"
[ "$failures" -eq 0 ]
