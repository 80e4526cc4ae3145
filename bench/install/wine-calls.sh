#!/usr/bin/env bash
# Where the installation's time goes under Wine: the wineserver requests that KestrumLiveUpdate.exe
# /HIDE and the NSIS peer (bench/install/peer.nsi) make for the same small package, counted by
# request name (WINEDEBUG=+server), in a prefix of their own. Each request is one round trip
# from the program to wineserver.
#   bench/install/wine-calls.sh [FILES]     the package's file count (200)
# Prints, for each installer, the requests a file and the most frequent requests.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
exe=$top/build/win32/KestrumLiveUpdate.exe
[ -f "$exe" ] || { echo "build the win32 preset first (make win32)" >&2; exit 1; }
files=${1:-200}
# The peer is built for the installer's own machine (x86_64 where the host runs no 32-bit code).
nsis_target=x86-unicode
[ "$(tests/wine/host-arch)" = x86_64 ] && nsis_target=amd64-unicode
work=$top/build/bench/wine-calls
rm -rf "$work"; mkdir -p "$work/www"
export KLU_WINEPREFIX=$work/wineprefix
. tests/servers/start-server.sh

# wineserver writes the trace of every client that asks for it to its own standard error: the
# server kept up for the run writes it into one file, cut into one slice a traced run.
tests/wine/winebench start >/dev/null 2>"$work/server.trace"
# The installer's window, hidden or not, needs a display.
display=$(( 90 + RANDOM % 100 ))
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  tests/wine/winebench stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

# Two packages, FILES and twice as many files: the difference is what the files themselves cost,
# without the start-up, the download's set-up and the registration.
for n in "$files" $((files * 2)); do
  mkdir -p "$work/www/$n"
  python3 bench/make_package.py 1 "$work/www/$n/pluvionfull.zip" --files "$n" --tree "$work/tree-$n" >/dev/null
  makensis -V1 -DTREE="$work/tree-$n" -DOUT="$work/peer-$n.exe" -DTARGET="$nsis_target" bench/install/peer.nsi
done
klu_start_server "$work/port" 600 demo/serve.py --dir "$work/www" 2>/dev/null
server=$KLU_SERVER_PID
url=http://127.0.0.1:$(cat "$work/port")

# trace NAME CMD...: one run with the server's trace in $work/NAME.trace (one line a request and
# one a reply, each prefixed with the thread id), then the requests counted by name.
trace() {
  local name=$1; shift
  rm -rf "$KLU_WINEPREFIX/drive_c/Program Files/Veltrona"
  local before
  before=$(stat -c %s "$work/server.trace")
  WINEDEBUG=+server timeout 600 tests/wine/wine-run "$@" >/dev/null 2>&1 || true
  sleep 1
  tail -c +$((before + 1)) "$work/server.trace" > "$work/$name.trace"
  # Requests only: "0024: create_file( ... )"; replies read "0024: create_file() = 0 ...".
  grep -E '^[0-9a-f]+: [a-z_]+\( ' "$work/$name.trace" | sed -E 's/^[0-9a-f]+: ([a-z_]+)\(.*/\1/' \
    | sort | uniq -c | awk '{print $2, $1}' | sort > "$work/$name.counts"
  rm -f "$work/$name.trace"
}
trace warmup "$exe" /HIDE /URL "$url/$files/pluvionfull.zip"
for n in "$files" $((files * 2)); do
  trace "klu-$n" "$exe" /HIDE /URL "$url/$n/pluvionfull.zip"
  trace "nsis-$n" "$work/peer-$n.exe" /S
done

# report NAME: the requests a file, from the difference between the two packages.
report() {
  local name=$1
  join -a 2 -e 0 -o 0,1.2,2.2 "$work/$name-$files.counts" "$work/$name-$((files * 2)).counts" \
    | awk -v f="$files" '{d = $3 - $2; if (d > 0) printf "%s %d %.2f\n", $1, d, d / f}' | sort -k2 -rn > "$work/$name.per-file"
  local total
  total=$(awk '{s += $2} END {print s}' "$work/$name.per-file")
  echo "== $name: $(awk -v t="$total" -v f="$files" 'BEGIN {printf "%.1f", t / f}') wineserver requests a file" \
       "($total more for $files more files)"
  head -15 "$work/$name.per-file" | awk '{printf "  %-28s %6.2f a file\n", $1, $3}'
}
report klu
report nsis
