#!/usr/bin/env bash
# planting.sh FOLDER: klu-get.exe in FOLDER beside a planted WS2_32.DLL, run under Wine with the
# DLL search that prefers a program's own folder (WINEDLLOVERRIDES ws2_32=n,b), against the
# scripted server (run through with-server.sh). The probe shows that a plain LoadLibrary takes
# the planted DLL; klu-get must still take the system's and download.
set -u
folder=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
set -- $KLU_HTTP_PORTS
port=$1
. "$here/../wine/wine-env.sh"
klu_wine_prefer_native ws2_32
failures=0
probe=$(timeout 60 "$here/../wine/wine-run" "$folder/planting_probe.exe" | tr -d '\r')
if [ "$probe" = "planted" ]; then echo "ok   a plain load takes the planted DLL"; else echo "FAIL probe says '$probe'"; failures=$((failures + 1)); fi
rm -f "$folder/out.bin"
timeout 60 "$here/../wine/wine-run" "$folder/klu-get.exe" "http://127.0.0.1:$port/ok" "Z:$folder/out.bin" 2>"$folder/err.txt"
rc=$?
if [ $rc -eq 0 ] && [ "$(cat "$folder/out.bin")" = "hello" ]; then
  echo "ok   klu-get loads the system WS2_32.DLL and downloads"
else
  echo "FAIL klu-get exit $rc: $(cat "$folder/err.txt")"; failures=$((failures + 1))
fi
[ $failures -eq 0 ]
