#!/usr/bin/env bash
# The demo: builds the demo package, serves it on 127.0.0.1, installs it under Wine with the real
# installer in a fresh demo prefix, and prints what was installed.
#
# The package is signed: a demo key is made for this demo (build/demo/keys, never kept anywhere
# else), the installer is built with it (KLU_PACKAGE_KEY, in build/win32-keyed), the package is
# signed with klu-sign, and the installer is first shown refusing a copy with one byte changed.
#
# On the user's display the installer's window is shown and worked through its pages (Install,
# then OK); without a display it runs hidden ("/HIDE") under a private Xvfb. Screenshots of each
# page go to build/demo/. KLU_DEMO_BUILD selects the Win32 build folder (default build/win32).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KLU_DEMO_BUILD:-$root/build/win32}
out=$root/build/demo
pids=()
cleanup() {
  local pid
  [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null; timeout 30 wineserver -w 2>/dev/null; }
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for f in KestrumLiveUpdate.exe Pluvion.exe e2e_driver.exe; do
  [ -f "$build/$f" ] || { echo "demo: $build/$f is missing; build the win32 preset first" >&2; exit 1; }
done
rm -rf "$out/www" "$out/prefix" "$out"/*.png "$out/status" "$out/port" "$out/server.log" "$out/keys"
mkdir -p "$out/www/pluvion" "$out/keys"

echo "== The demo key, and the installer built with it"
sign=$root/build/native/tools/klu-sign
{ cmake --preset native >/dev/null && cmake --build "$root/build/native" --target klu-sign -j2 >/dev/null; } ||
  { echo "demo: klu-sign could not be built" >&2; exit 1; }
"$sign" keygen "$out/keys/demo.pem" "$out/keys/demo.pub.pem" | sed 's/^/   /' || exit 1
keyed=$root/build/win32-keyed
{ cmake --preset win32 -B "$keyed" -DKLU_PACKAGE_KEY="$out/keys/demo.pub.pem" >/dev/null &&
  cmake --build "$keyed" --target KestrumLiveUpdate -j2 >"$out/keys/build.log" 2>&1; } ||
  { tail -20 "$out/keys/build.log"; echo "demo: the keyed installer could not be built" >&2; exit 1; }
mkdir -p "$out/keyed"
cp "$keyed/KestrumLiveUpdate.exe" "$build/Pluvion.exe" "$out/keyed/"
build_plain=$build
build=$out/keyed
echo "   $keyed/KestrumLiveUpdate.exe checks every package against build/demo/keys/demo.pub.pem"

echo "== The demo package, signed"
python3 "$root/demo/make_package.py" "$out/www/pluvion/pluvionfull.zip" "$build" || exit 1
"$sign" sign "$out/keys/demo.pem" "$out/www/pluvion/pluvionfull.zip" | sed 's/^/   /' || exit 1
printf '   comment: %s\n' "$(unzip -z "$out/www/pluvion/pluvionfull.zip" | tail -1 | cut -c1-40)..."
# A copy with one byte of its first entry's data changed, as a compromised mirror might serve it.
python3 - "$out/www/pluvion/pluvionfull.zip" "$out/www/pluvion/changed.zip" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
name, extra = struct.unpack_from("<HH", data, 26)
data[30 + name + extra + 100] ^= 0x01
open(sys.argv[2], "wb").write(data)
PY
printf '   klu-sign verify of a changed copy: %s\n' "$("$sign" verify "$out/keys/demo.pub.pem" "$out/www/pluvion/changed.zip" | head -1)"

. "$root/tests/servers/start-server.sh"
. "$root/tests/wine/wine-env.sh"
klu_start_server "$out/port" 900 "$root/demo/serve.py" --dir "$out/www" 2>"$out/server.log"
started=$?
pids+=("$KLU_SERVER_PID")
[ $started -eq 0 ] || { echo "demo: the package server did not start" >&2; exit 1; }
url=http://127.0.0.1:$(cat "$out/port")/pluvion/pluvionfull.zip
echo "== Serving $url"

echo "== Preparing the demo Wine prefix (the first time takes a minute)"
base=$root/build/demo-base-prefix
KLU_WINEPREFIX=$base timeout 600 "$root/tests/wine/winebench" prepare || exit 1
cp -a "$base" "$out/prefix"
klu_wine_env "$out/prefix"
wineserver -p
timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1

mode=hidden
display_works() {
  [ -n "${DISPLAY:-}" ] || return 1
  command -v xdpyinfo >/dev/null 2>&1 || return 0  # without the tool, trust the variable
  timeout 10 xdpyinfo >/dev/null 2>&1
}
if display_works; then
  mode=shown
else
  for d in $(seq 91 160); do [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] || break; done
  Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$d"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$d" ] && break; sleep 0.1; done
fi
shot() { import -display "$DISPLAY" -window root "$out/$1.png" 2>/dev/null && echo "   screenshot build/demo/$1.png"; }
drive() { timeout 180 wine "$build_plain/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r' | sed 's/^/   driver /'; }

echo "== The installer checks the changed copy (hidden) and refuses it"
( timeout 300 wine "$build/KestrumLiveUpdate.exe" /HIDE /URL "${url%/*}/changed.zip" >/dev/null 2>&1
  echo $? >"$out/status" ) &
pids+=($!)
drive box-answer 1 120000
for _ in $(seq 600); do [ -s "$out/status" ] && break; sleep 0.1; done
echo "   exit status: $(cat "$out/status" 2>/dev/null || echo "still running"); files installed: \
$(find "$WINEPREFIX/drive_c/Program Files/Veltrona" -type f 2>/dev/null | wc -l)"
rm -f "$out/status"
echo "== The installer checks the signed package and installs it"

( timeout 600 wine "$build/KestrumLiveUpdate.exe" $([ $mode = hidden ] && echo /HIDE) /URL "$url" >/dev/null 2>&1
  echo $? >"$out/status" ) &
pids+=($!)
if [ $mode = shown ]; then
  echo "== The installer's window on $DISPLAY"
  drive wait-window 60000 caption text EFolder
  sleep 1; shot 1-folder-page
  drive click BInstall wait-visible PanelFinish 120000 text FLabelTop text FLabelMessage
  sleep 1; shot 2-result-page
  drive click FBOk
else
  echo "== The installer runs hidden (/HIDE) on a private display $DISPLAY"
fi
for _ in $(seq 1800); do [ -s "$out/status" ] && break; sleep 0.1; done
status=$(cat "$out/status" 2>/dev/null || echo "still running")

c=$WINEPREFIX/drive_c
app="$c/Program Files/Veltrona/Pluvion"
for _ in $(seq 100); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
sleep 1; shot 3-application-started

user=$(ls "$c/users" | grep -v -x Public | head -1)
echo
echo "== Exit status of the installer: $status"
echo "== Installed files (C:\\Program Files\\Veltrona\\Pluvion)"
(cd "$app" 2>/dev/null && find . -type f | sort | while read -r f; do printf '   %9s  %s\n' "$(stat -c %s "$f")" "${f#./}"; done)
echo "== What LiveUpdate.bat made"
for f in configured.txt cache/last-forecast.txt; do printf '   %s: %s\n' "$f" "$(tr -d '\r' <"$app/$f" 2>/dev/null)"; done
echo "== Registry"
for key in 'HKCU\Software\Kestrum\Pluvion' 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion'; do
  wine reg query "$key" /s 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/   /'
done
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Pluvion 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/   /'
echo "== Shortcuts"
for f in "$c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Veltrona"/*.lnk "$c/users/$user/Desktop"/*.lnk; do
  [ -f "$f" ] && echo "   ${f#$c/}"
done
echo "== The application"
if [ -s "$app/started.txt" ]; then
  echo "   Pluvion.exe started: $(tr -d '\r' <"$app/started.txt" | head -1)"
else
  echo "   Pluvion.exe did not start"
fi
echo "== Package requests seen by the server"
sed 's/^/   /' "$out/server.log"
[ "$status" = 0 ] && [ -s "$app/started.txt" ]
