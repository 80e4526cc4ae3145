#!/usr/bin/env bash
# https download benchmark: nginx with TLS on 127.0.0.1 (the test authority of
# tests/servers/tls-certs.sh) serves a 256 MiB file; klu-get (native, then Win32 under Wine in a
# prefix of its own that trusts the authority) and curl fetch it in turn, alternating, RUNS
# times. Prints the median throughput of each, klu-get's time ratios against curl and its peak
# resident memory; writes the rows to build/bench/https.tsv.
#   KLU_GET_NATIVE  native klu-get   (default build/release/tools/klu-get)
#   KLU_GET_WIN32   Win32 klu-get    (default build/win32/tools/klu-get.exe; skipped when missing)
#   RUNS            runs per program (default 5)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ "${1:-}" != --inside ]; then
  native=${KLU_GET_NATIVE:-$root/build/release/tools/klu-get}
  win32=${KLU_GET_WIN32:-$root/build/win32/tools/klu-get.exe}
  [ -x "$native" ] || { echo "missing $native (build the release preset)" >&2; exit 1; }
  runner=()
  if [ -f "$win32" ] && [ -f "$root/build/win32/trust_root.exe" ]; then
    runner=("$root/tests/wine/wine-run")
    export KLU_TLS_TRUST_ROOT=$root/build/win32/trust_root.exe
  else
    win32=
    echo "(no $win32: the Win32 klu-get is left out)"
  fi
  export KLU_GET_NATIVE=$native KLU_GET_WIN32=$win32 KLU_TLS_SCRIPT=1 KLU_TEST_TIMEOUT=3000
  exec "$root/tests/servers/with-tls.sh" "$root/build/bench-https" "${runner[@]}" "$0" --inside
fi

# Inside with-tls.sh: the servers are up, SSL_CERT_FILE or the prefix trusts the authority.
runs=${RUNS:-5}
work=$KLU_TLS_WORK
head -c $((256 * 1048576)) /dev/urandom > "$work/www/f256"
url="https://localhost:$KLU_TLS_GOOD/f256"
ca=$work/certs/ca.pem
programs=(klu-get curl)
[ -n "$KLU_GET_WIN32" ] && programs=(klu-get klu-get-win32 curl)

# run PROGRAM OUT: prints "MICROSECONDS PEAK_KB"
run() {
  local program=$1 out=$2 start end
  local -a cmd
  case $program in
    klu-get) cmd=("$KLU_GET_NATIVE" "$url" "$out") ;;
    klu-get-win32) cmd=("$root/tests/wine/wine-run" "$KLU_GET_WIN32" "$url" "Z:$out") ;;
    curl) cmd=(curl -s --cacert "$ca" -o "$out" "$url") ;;
  esac
  start=$(date +%s%N)
  timeout 300 /usr/bin/time -f "%M" -o "$work/rss" "${cmd[@]}" || { echo "$program failed" >&2; echo "0 0"; return; }
  end=$(date +%s%N)
  cmp -s "$out" "$work/www/f256" || { echo "$program: the file differs" >&2; echo "0 0"; return; }
  echo "$(( (end - start) / 1000 )) $(tail -1 "$work/rss")"
  rm -f "$out"
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

declare -A speed peak
report=$root/build/bench/https.tsv
mkdir -p "$(dirname "$report")"
: > "$report"
for program in "${programs[@]}"; do : > "$work/$program.t"; : > "$work/$program.m"; done
for ((i = 0; i < runs; i++)); do
  for program in "${programs[@]}"; do
    read -r micros kb < <(run "$program" "$work/out.bin")
    [ "$micros" -gt 0 ] && echo "256 $micros" | awk '{ printf "%.1f\n", $1 * 1e6 / $2 }' >> "$work/$program.t"
    echo "$kb" >> "$work/$program.m"
  done
done
echo "== https 256 MiB, $runs runs each (median throughput, peak resident memory)"
for program in "${programs[@]}"; do
  speed[$program]=$(median < "$work/$program.t")
  peak[$program]=$(sort -n "$work/$program.m" | tail -1)
done
for program in "${programs[@]}"; do
  printf '  %-14s %8.1f MiB/s   peak %6.1f MiB\n' "$program" "${speed[$program]}" \
    "$(echo "${peak[$program]}" | awk '{ print $1 / 1024 }')"
  # The row: workload, tool, median seconds, MiB/s, time ratio to curl, peak KiB.
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "https 256 MiB" "$program" \
    "$(awk -v v="${speed[$program]}" 'BEGIN { if (v > 0) printf "%.3f", 256 / v; else print "-" }')" \
    "${speed[$program]}" "$(ratio "${speed[curl]}" "${speed[$program]}")" "${peak[$program]}" >> "$report"
done
echo "  time ratio klu-get/curl $(ratio "${speed[curl]}" "${speed[klu-get]}")"
[ -n "$KLU_GET_WIN32" ] && echo "  time ratio klu-get-win32/curl $(ratio "${speed[curl]}" "${speed[klu-get-win32]}")"
rm -f "$work/www/f256"
