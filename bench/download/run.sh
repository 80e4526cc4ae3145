#!/usr/bin/env bash
# Download benchmark: nginx on 127.0.0.1 serves a 16 MiB and a 256 MiB file; klu-get (native,
# then Win32 under Wine), curl and wget fetch each in turn, alternating, RUNS times. Prints the
# median throughput of each, klu-get's ratios against curl and wget, and klu-get's peak resident
# memory for both sizes.
#   KLU_GET_NATIVE  native klu-get   (default build/release/tools/klu-get)
#   KLU_GET_WIN32   Win32 klu-get    (default build/win32/tools/klu-get.exe; skipped when missing)
#   RUNS            runs per program and size (default 5)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=${KLU_GET_NATIVE:-$root/build/release/tools/klu-get}
win32=${KLU_GET_WIN32:-$root/build/win32/tools/klu-get.exe}
runs=${RUNS:-5}
work=$root/build/bench-download
. "$root/tests/servers/nginx-conf.sh"
for tool in curl wget /usr/bin/time /usr/sbin/nginx; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[ -x "$native" ] || { echo "missing $native (build the release preset)" >&2; exit 1; }

rm -rf "$work"; mkdir -p "$work/www" "$work/temp"
nginx_pid=
wine_started=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  [ -n "$wine_started" ] && "$root/tests/wine/winebench" stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

head -c $((16 * 1048576)) /dev/urandom > "$work/www/f16"
head -c $((256 * 1048576)) /dev/urandom > "$work/www/f256"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
nginx_conf "$work" "$port"
timeout 3600 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

programs=(klu-get curl wget)
if [ -f "$win32" ]; then
  "$root/tests/wine/winebench" start >/dev/null 2>&1 && wine_started=1
  programs=(klu-get klu-get-win32 curl wget)
else
  echo "(no $win32: the Win32 klu-get is left out)"
fi

# run PROGRAM URL OUT: prints "SECONDS PEAK_KB"
run() {
  local program=$1 url=$2 out=$3 start end
  local -a cmd
  case $program in
    klu-get) cmd=("$native" "$url" "$out") ;;
    klu-get-win32) cmd=("$root/tests/wine/wine-run" "$win32" "$url" "Z:$out") ;;
    curl) cmd=(curl -s -o "$out" "$url") ;;
    wget) cmd=(wget -q -O "$out" "$url") ;;
  esac
  start=$(date +%s%N)
  timeout 300 /usr/bin/time -f "%M" -o "$work/rss" "${cmd[@]}" || { echo "$program failed" >&2; echo "0 0"; return; }
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(tail -1 "$work/rss")"
  rm -f "$out"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A speed peak
report=$(cd "$(dirname "$0")/../.." && pwd)/build/bench/download.tsv
mkdir -p "$(dirname "$report")"
: > "$report"
for size in 16 256; do
  url="http://127.0.0.1:$port/f$size"
  for program in "${programs[@]}"; do : > "$work/$program-$size.t"; : > "$work/$program-$size.m"; done
  for ((i = 0; i < runs; i++)); do
    for program in "${programs[@]}"; do
      read -r micros kb < <(run "$program" "$url" "$work/out.bin")
      [ "$micros" -gt 0 ] && echo "$size $micros" | awk '{ printf "%.1f\n", $1 * 1e6 / $2 }' >> "$work/$program-$size.t"
      echo "$kb" >> "$work/$program-$size.m"
    done
  done
  echo "== $size MiB, $runs runs each (median throughput, peak resident memory)"
  for program in "${programs[@]}"; do
    speed[$program-$size]=$(median < "$work/$program-$size.t")
    peak[$program-$size]=$(sort -n "$work/$program-$size.m" | tail -1)
    printf '  %-14s %8.1f MiB/s   peak %6.1f MiB\n' "$program" "${speed[$program-$size]}" \
      "$(echo "${peak[$program-$size]}" | awk '{ print $1 / 1024 }')"
  done
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
  # One row a tool for the report: time ratio to curl (below 1.0: faster than curl).
  for program in "${programs[@]}"; do
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "download $size MiB" "$program" \
      "$(awk -v s="$size" -v v="${speed[$program-$size]}" 'BEGIN { if (v > 0) printf "%.3f", s / v; else print "-" }')" \
      "${speed[$program-$size]}" "$(ratio "${speed[curl-$size]}" "${speed[$program-$size]}")" \
      "${peak[$program-$size]}" >> "$report"
  done
  echo "  ratio klu-get/curl $(ratio "${speed[klu-get-$size]}" "${speed[curl-$size]}")," \
       "klu-get/wget $(ratio "${speed[klu-get-$size]}" "${speed[wget-$size]}")"
  if [ -n "$wine_started" ]; then
    echo "  ratio klu-get-win32/curl $(ratio "${speed[klu-get-win32-$size]}" "${speed[curl-$size]}")"
  fi
done
echo "== klu-get peak memory: $(awk -v a="${peak[klu-get-16]}" 'BEGIN { printf "%.1f", a / 1024 }') MiB for 16 MiB," \
     "$(awk -v a="${peak[klu-get-256]}" 'BEGIN { printf "%.1f", a / 1024 }') MiB for 256 MiB"
