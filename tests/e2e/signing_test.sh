#!/usr/bin/env bash
# Signed packages through the real program. A second build of the installer carries a key made
# for this run (KLU_PACKAGE_KEY; only the installer is built there, and only its key file changes
# from run to run): it installs the package signed with that key, and refuses a changed copy with
# its text, nothing placed, nothing left in the temporary folder, status 1. It loads no bcrypt.dll
# planted beside it. The ordinary build installs the signed package as well.
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/suite.bash"
keyed=$root/build/win32-keyed
keys=$root/build/e2e-signing-keys
sign=$root/build/native/tools/klu-sign
if [ ! -x "$sign" ]; then
  cmake --preset native >/dev/null && cmake --build "$root/build/native" --target klu-sign -j2 >/dev/null || exit 1
fi
rm -rf "$keys"; mkdir -p "$keys"
"$sign" keygen "$keys/publisher.pem" "$keys/publisher.pub.pem" >/dev/null || exit 1
echo "[signing_test] building the keyed installer in $keyed"
cmake --preset win32 -B "$keyed" -DKLU_PACKAGE_KEY="$keys/publisher.pub.pem" >/dev/null || exit 1
timeout 900 cmake --build "$keyed" --target KestrumLiveUpdate -j2 >"$keys/build.log" 2>&1 ||
  { tail -30 "$keys/build.log"; exit 1; }
plain=$E2E_BUILD
e2e_start

app=$E2E_C/Program\ Files/Veltrona/Pluvion
temp_files() { find "$E2E_C/users/$E2E_USER/AppData/Local/Temp" -mindepth 1 -maxdepth 1 2>/dev/null | sort; }

# The packages: the server's package without its batch, signed; and a copy with one data byte changed.
cp "$E2E_WORK/packages/nobatch.zip" "$E2E_WORK/packages/signed.zip"
"$sign" sign "$keys/publisher.pem" "$E2E_WORK/packages/signed.zip" >/dev/null
check "the package is signed" "0" "$?"
python3 - "$E2E_WORK/packages/signed.zip" "$E2E_WORK/packages/changed.zip" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
name, extra = struct.unpack_from("<HH", data, 26)
data[30 + name + extra] ^= 0x20  # the first entry's first data byte
open(sys.argv[2], "wb").write(data)
PY

# The keyed program in a folder of its own, beside a planted bcrypt.dll that Wine would prefer.
mkdir -p "$E2E_WORK/keyed"
cp "$keyed/KestrumLiveUpdate.exe" "$plain/e2e_driver.exe" "$E2E_WORK/keyed/"
cp "$plain/planted.dll" "$E2E_WORK/keyed/bcrypt.dll"
klu_wine_prefer_native bcrypt

# --- 1. The keyed build installs the signed package.
E2E_BUILD=$E2E_WORK/keyed
reset_install
temp_before=$(temp_files)
run_program /URL "$E2E_URL/pkg/signed.zip"
out=$(drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 text FLabelMessage)
shot signing-1-signed
check "keyed build, signed package: the result" "text: The application was installed successfully!" \
  "$(echo "$out" | tail -1)"
drive click FBOk >/dev/null
check "keyed build, signed package: status" "0" "$(program_status 60)"
check "keyed build, signed package: files placed" "yes yes yes" \
  "$(exists "$app/a.txt" "$app/sub/b.dll" "$app/data/deep/weather.dat")"
check "no planted bcrypt.dll was loaded" "no" "$(exists "$E2E_WORK/keyed/bcrypt.dll.loaded")"
wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1

# --- 2. The keyed build refuses the changed copy: its text, nothing placed, nothing left.
reset_install
run_program /URL "$E2E_URL/pkg/changed.zip"
out=$(drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 text FLabelMessage)
shot signing-2-changed
check "keyed build, changed package: the text" \
  'text: The server provided an invalid file.\nThe package was changed after it was signed.' "$(echo "$out" | tail -1)"
drive click FBOk >/dev/null
check "keyed build, changed package: status" "1" "$(program_status 60)"
check "keyed build, changed package: nothing placed" "" "$(find "$app" -type f 2>/dev/null)"
check "keyed build, changed package: the temporary folder as before" "$temp_before" "$(temp_files)"

# --- 3. The ordinary build installs the same signed package, hidden.
E2E_BUILD=$plain
export WINEDLLOVERRIDES=$KLU_WINE_OVERRIDES
reset_install
run_program /HIDE /URL "$E2E_URL/pkg/signed.zip"
check "build without a key, signed package: status" "0" "$(program_status 90)"
check "build without a key, signed package: files placed" "yes yes" "$(exists "$app/a.txt" "$app/sub/b.dll")"
wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1

e2e_finish
