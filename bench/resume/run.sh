#!/usr/bin/env bash
# Resume benchmark: nginx on 127.0.0.1 serves a 256 MiB file through the cutting proxy
# (tests/servers/cutting_proxy.py), which closes every connection after 10 MiB. klu-get (native,
# then Win32 under Wine) resumes by itself (--retries 100 --retry-wait 0: no pause, as its peer
# has none); its peer is curl -C - rerun at once after each cut (bench/resume/curl-resume.sh).
# Alternating, RUNS times each; medians. Prints each program's median time and throughput, the
# bytes the proxy handed over per run against the file's size (goal: at most 1.05) and
# klu-get's time against curl's (goal: at most 1.2).
#   KLU_GET_NATIVE  native klu-get   (default build/release/tools/klu-get)
#   KLU_GET_WIN32   Win32 klu-get    (default build/win32/tools/klu-get.exe; skipped when missing)
#   RUNS            runs per program (default 5)
#   CUT_MIB         bytes per connection, in MiB (default 10)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=${KLU_GET_NATIVE:-$root/build/release/tools/klu-get}
win32=${KLU_GET_WIN32:-$root/build/win32/tools/klu-get.exe}
runs=${RUNS:-5}
cut_mib=${CUT_MIB:-10}
size_mib=256
work=$root/build/bench-resume
report=$root/build/bench/resume.tsv
. "$root/tests/servers/nginx-conf.sh"
. "$root/tests/servers/ports.sh"
. "$root/tests/servers/start-server.sh"
for tool in curl /usr/bin/time /usr/sbin/nginx; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
[ -x "$native" ] || { echo "missing $native (build the release preset)" >&2; exit 1; }

rm -rf "$work"; mkdir -p "$work/www" "$work/temp" "$(dirname "$report")"
pids=()
wine_started=
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  [ -n "$wine_started" ] && "$root/tests/wine/winebench" stop >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

size=$((size_mib * 1048576))
head -c "$size" /dev/urandom > "$work/www/f$size_mib"
port=$(free_port)
nginx_conf "$work" "$port"
timeout 7200 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
pids+=($!)
wait_port "$port" || { echo "nginx did not start" >&2; exit 1; }
klu_start_server "$work/proxy.port" 7000 "$root/tests/servers/cutting_proxy.py" --upstream "127.0.0.1:$port" \
  --cut $((cut_mib * 1048576)) || exit 1
pids+=("$KLU_SERVER_PID")
proxy_port=$(cat "$work/proxy.port")
url=http://127.0.0.1:$proxy_port/f$size_mib
moved() { curl -s --max-time 10 "http://127.0.0.1:$proxy_port/.cutting-proxy/stats" | awk '$1 == "bytes" { print $2 }'; }

programs=(klu-get curl)
if [ ! -f "$win32" ]; then
  echo "(no $win32: the Win32 klu-get is left out)"
elif "$root/tests/wine/winebench" start >/dev/null 2>&1; then
  wine_started=1
  programs=(klu-get klu-get-win32 curl)
else
  echo "(Wine does not start here: the Win32 klu-get is left out)"
fi

# run PROGRAM: one download of the file through the proxy, checked whole; prints
# "MICROSECONDS PEAK_KB BYTES_MOVED", or "0 0 0" when it failed.
run() {
  local program=$1 out=$work/out.bin start end before
  local -a cmd
  case $program in
    klu-get) cmd=("$native" --retries 100 --retry-wait 0 "$url" "$out") ;;
    klu-get-win32) cmd=("$root/tests/wine/wine-run" "$win32" --retries 100 --retry-wait 0 "$url" "Z:$out") ;;
    curl) cmd=("$root/bench/resume/curl-resume.sh" "$url" "$out") ;;
  esac
  rm -f "$out"
  before=$(moved)
  start=$(date +%s%N)
  if ! timeout 600 /usr/bin/time -f "%M" -o "$work/rss" "${cmd[@]}" >/dev/null 2>"$work/err" \
     || ! cmp -s "$out" "$work/www/f$size_mib"; then
    echo "$program failed: $(head -3 "$work/err" | tr '\r\n' '  ')" >&2
    echo "0 0 0"; return
  fi
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(tail -1 "$work/rss") $(( $(moved) - before ))"
  rm -f "$out"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo "== $size_mib MiB through a proxy that cuts every $cut_mib MiB, $runs runs each, alternating (load: $(cut -d' ' -f1-3 /proc/loadavg))"
for program in "${programs[@]}"; do : > "$work/$program.t"; : > "$work/$program.m"; : > "$work/$program.b"; done
failed=0
for ((i = 0; i < runs; i++)); do
  for program in "${programs[@]}"; do
    read -r micros kb bytes < <(run "$program")
    if [ "$micros" -gt 0 ]; then
      echo "$micros" | awk '{ printf "%.3f\n", $1 / 1e6 }' >> "$work/$program.t"
      echo "$kb" >> "$work/$program.m"
      echo "$bytes" >> "$work/$program.b"
    else
      failed=1
    fi
  done
done

: > "$report"
declare -A seconds
for program in "${programs[@]}"; do seconds[$program]=$(median < "$work/$program.t"); done
for program in "${programs[@]}"; do
  most=$(sort -n "$work/$program.b" | tail -1)
  moved_ratio=$(awk -v a="${most:-0}" -v b="$size" 'BEGIN { printf "%.5f", a / b }')
  peak=$(sort -n "$work/$program.m" | tail -1)
  speed=$(awk -v s="$size_mib" -v t="${seconds[$program]:-0}" 'BEGIN { if (t > 0) printf "%.1f", s / t; else print "-" }')
  printf '  %-14s %8s s  %7s MiB/s   moved at most %s times the file   peak %6.1f MiB\n' "$program" \
    "${seconds[$program]:-n/a}" "$speed" "$moved_ratio" "$(awk -v k="${peak:-0}" 'BEGIN { print k / 1024 }')"
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "download $size_mib MiB cut every $cut_mib MiB" \
    "$program (moved ${moved_ratio}x)" "${seconds[$program]:--}" "$speed" \
    "$(ratio "${seconds[$program]:-0}" "${seconds[curl]:-0}")" "${peak:--}" >> "$report"
  if [ "$program" != curl ] && awk -v r="$moved_ratio" 'BEGIN { exit !(r > 1.05) }'; then
    echo "  $program moved more than 1.05 times the file"; failed=1
  fi
done
echo "  ratio klu-get/curl $(ratio "${seconds[klu-get]:-0}" "${seconds[curl]:-0}") (goal: at most 1.2)"
if [ -n "$wine_started" ]; then
  echo "  ratio klu-get-win32/curl $(ratio "${seconds[klu-get-win32]:-0}" "${seconds[curl]:-0}")"
fi
exit "$failed"
