#!/usr/bin/env bash
# The whole installation as a user feels it: KestrumLiveUpdate.exe /HIDE /URL under Wine, from start
# to exit, against a plain pipeline on the host doing the same work (curl to a file, unzip into a
# temporary folder, cp -r into the install folder). The package is served by nginx on 127.0.0.1.
#   bench/install/run.sh [SIZES_MIB...]     default: 100 (the ratio), then 10 100 400 (growth)
# Prints a table and writes build/bench/install.tsv for bench/report.py.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
exe=$top/build/win32/KestrumLiveUpdate.exe
[ -f "$exe" ] || { echo "build the win32 preset first (make win32)" >&2; exit 1; }
runs=${RUNS:-5}
out=$top/build/bench
work=$out/install
mkdir -p "$work"
rm -f "$out/install.tsv"

export KLU_WINEPREFIX=$work/wineprefix
tests/wine/winebench start >/dev/null
display=$(( 90 + RANDOM % 100 ))
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
nginx_dir=$work/nginx
mkdir -p "$nginx_dir/www"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$nginx_dir/nginx.conf" <<CONF
worker_processes 1;
pid $nginx_dir/nginx.pid;
error_log $nginx_dir/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $nginx_dir/tmp;
  proxy_temp_path $nginx_dir/tmp;
  fastcgi_temp_path $nginx_dir/tmp;
  uwsgi_temp_path $nginx_dir/tmp;
  scgi_temp_path $nginx_dir/tmp;
  server { listen 127.0.0.1:$port; root $nginx_dir/www; }
}
CONF
mkdir -p "$nginx_dir/tmp"
nginx -c "$nginx_dir/nginx.conf"
cleanup() {
  nginx -c "$nginx_dir/nginx.conf" -s stop 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  tests/wine/winebench stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

installed=$KLU_WINEPREFIX/drive_c/Program\ Files/Veltrona
pipeline_dir=$work/pipeline

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# One run of each, alternating; prints "seconds peak_kib" per line into the two files.
measure() {
  local size=$1 url=http://127.0.0.1:$port/pluvionfull.zip
  : > "$work/klu.$size" ; : > "$work/pipe.$size"
  for i in $(seq "$runs"); do
    rm -rf "$installed"
    /usr/bin/time -f '%e %M' -o "$work/t" timeout 1800 tests/wine/wine-run "$exe" /HIDE /URL "$url" >/dev/null 2>&1 \
      || { echo "the installer failed (run $i, $size MiB)" >&2; cat "$work/t" >&2; exit 1; }
    tail -1 "$work/t" >> "$work/klu.$size"
    rm -rf "$pipeline_dir"; mkdir -p "$pipeline_dir/install"
    /usr/bin/time -f '%e %M' -o "$work/t" bash -c \
      "curl -s -o '$pipeline_dir/p.zip' '$url' && unzip -q '$pipeline_dir/p.zip' -d '$pipeline_dir/tmp' && cp -r '$pipeline_dir/tmp/.' '$pipeline_dir/install'"
    tail -1 "$work/t" >> "$work/pipe.$size"
  done
}

row() {  # workload tool median mib/s ratio peak
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$out/install.tsv"
}

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 100 400)
for size in "${sizes[@]}"; do
  python3 bench/make_package.py "$size" "$nginx_dir/www/pluvionfull.zip"
  measure "$size"
  k=$(cut -d' ' -f1 "$work/klu.$size" | median)
  p=$(cut -d' ' -f1 "$work/pipe.$size" | median)
  kmem=$(cut -d' ' -f2 "$work/klu.$size" | sort -n | tail -1)
  pmem=$(cut -d' ' -f2 "$work/pipe.$size" | sort -n | tail -1)
  ratio=$(awk -v a="$k" -v b="$p" 'BEGIN {printf "%.2f", a / b}')
  row "install ${size} MiB" "KestrumLiveUpdate (Wine)" "$k" "$(awk -v s="$size" -v t="$k" 'BEGIN {printf "%.1f", s / t}')" "$ratio" "$kmem"
  row "install ${size} MiB" "curl+unzip+cp" "$p" "$(awk -v s="$size" -v t="$p" 'BEGIN {printf "%.1f", s / t}')" "1.00" "$pmem"
  echo "install $size MiB: installer $k s (peak $kmem KiB), pipeline $p s; ratio $ratio; $(awk -v s="$size" -v t="$k" 'BEGIN {printf "%.3f", t / s}') s/MiB"
done
rm -rf "$installed" "$pipeline_dir"
