#!/usr/bin/env bash
# The whole installation as a user feels it: KestrumLiveUpdate.exe /HIDE /URL under Wine, from start
# to exit, downloading from nginx on 127.0.0.1, against two peers measured in the same run:
#   - an NSIS installer carrying the same files (bench/install/peer.nsi, built here with makensis:
#     zlib, not solid, silent with /S, an uninstall entry and a shortcut), in the same prefix and
#     under the same wineserver: the installer a publisher would pick instead;
#   - a plain pipeline on the host doing the same work (curl to a file, unzip into a temporary
#     folder, cp -r into the install folder), kept for continuity with earlier reports.
# Beside them, the floor: bench/install/floor.cpp, built here, makes the same files in a work
# folder (the same sizes, nothing decoded) and moves them into the install folder, the least any
# installer of these files pays under this Wine.
# The host pipeline alternates with the installer on its own (see below); a program that stays on
# Wine's desktop keeps the desktop process running throughout, as on Windows.
# Then, with nginx sending at 10 MiB/s (limit_rate), the whole installation against the download
# alone (curl), and native klu-unzip of the same package against unzip, 7z and bsdtar: into
# memory (tmpfs) and onto the build disk, there beside bench/install/fill.cpp, which only makes
# and fills the same files.
# Every tool runs once to warm up, then RUNS times (5), alternating; medians.
#   bench/install/run.sh [SIZES_MIB...]     default: 10 100 400
# Prints a table and writes build/bench/install.tsv for bench/report.py.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
exe=$top/build/win32/KestrumLiveUpdate.exe
unzip_tool=$top/build/release/tools/klu-unzip
[ -f "$exe" ] || { echo "build the win32 preset first (make win32)" >&2; exit 1; }
command -v makensis >/dev/null || { echo "makensis is missing (scripts/install-deps)" >&2; exit 1; }
runs=${RUNS:-5}
# The peer is built for the machine the installer was built for: on a host that runs no 32-bit
# code both are x86_64 programs under the 64-bit Wine.
nsis_target=x86-unicode
[ "$(tests/wine/host-arch)" = x86_64 ] && nsis_target=amd64-unicode
arch=$(sed -n 's/^KLU_WINDOWS_ARCH:[A-Z]*=//p' "$top/build/win32/CMakeCache.txt")
limited_mib=${LIMITED_MIB:-100}
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
mkdir -p "$nginx_dir/www" "$nginx_dir/tmp"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
limited_port=$(free_port)
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
  server { listen 127.0.0.1:$limited_port; root $nginx_dir/www; limit_rate 10m; }
}
CONF
nginx -c "$nginx_dir/nginx.conf"
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  nginx -c "$nginx_dir/nginx.conf" -s stop 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  tests/wine/winebench stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

drive_c=$KLU_WINEPREFIX/drive_c
installed=$drive_c/Program\ Files/Veltrona
pipeline_dir=$work/pipeline
peer=$work/peer.exe
floor_exe=$work/floor.exe
"${arch:-i686}-w64-mingw32-g++-posix" -O2 -static -o "$floor_exe" bench/install/floor.cpp
g++ -O2 -o "$work/fill" bench/install/fill.cpp
# Wine starts its desktop process (explorer.exe) for the first program that needs it and ends it
# about 2 s after the last one; on Windows the desktop is always there. A program that stays on
# the desktop for the whole bench keeps it, so that no measure pays for starting it and none
# finds it left running by the one before (the installer came after the floor program, which needs
# no desktop, and started it again each time; the NSIS installer came after the installer).
tests/wine/wine-run "$floor_exe" + >/dev/null 2>&1 &
holder=$!

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
speed() { awk -v s="$1" -v t="$2" 'BEGIN {printf "%.1f", s / t}'; }

# timed FILE CMD...: runs CMD, appends "seconds peak_kib" to FILE.
timed() {
  local into=$1; shift
  /usr/bin/time -f '%e %M' -o "$work/t" timeout 1800 "$@" >/dev/null 2>&1 \
    || { echo "failed: $* ($(tail -1 "$work/t"))" >&2; exit 1; }
  tail -1 "$work/t" >> "$into"
}

# What each installation leaves goes before the next one, so that every run starts alike.
clean_install() {
  rm -rf "$installed" "$pipeline_dir"
  # Each run a first installation: the installer's list of installed files would otherwise grow
  # with every run, and the uninstall entries stay one each.
  local key
  for key in 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PluvionPeer' \
             'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion' 'HKCU\Software\Kestrum'; do
    tests/wine/wine-run reg delete "$key" /f >/dev/null 2>&1 || true
  done
}

klu() { clean_install; timed "$1" tests/wine/wine-run "$exe" /HIDE /URL "$2"; }
nsis() { clean_install; timed "$1" tests/wine/wine-run "$peer" /S; }
floor() {
  clean_install; rm -rf "$drive_c/floorwork"
  timed "$1" tests/wine/wine-run "$floor_exe" 'C:\floor.list' 'C:\floorwork' 'C:\Program Files\Veltrona\Pluvion'
}
pipeline() {
  clean_install; mkdir -p "$pipeline_dir/install"
  timed "$1" bash -c "curl -s -o '$pipeline_dir/p.zip' '$2' && unzip -q '$pipeline_dir/p.zip' -d '$pipeline_dir/tmp' \
    && cp -r '$pipeline_dir/tmp/.' '$pipeline_dir/install'"
}
download() { rm -f "$work/d.zip"; timed "$1" curl -s -o "$work/d.zip" "$2"; }
# A Win32 program that does nothing, started the same way: Wine's own start and end of a process.
start() { timed "$1" tests/wine/wine-run "$floor_exe" -; }

# alternate NAME... : the named measures, once each to warm up, then $runs times in turn; each
# NAME is "function:url" and its times land in $work/NAME-function.
alternate() {
  local size=$1; shift
  local m
  for m in "$@"; do : > "$work/$size-${m%%:*}"; "${m%%:*}" /dev/null "${m#*:}"; done
  for _ in $(seq "$runs"); do
    for m in "$@"; do "${m%%:*}" "$work/$size-${m%%:*}" "${m#*:}"; done
  done
}
med() { cut -d' ' -f1 "$work/$1" | median; }
peak() { cut -d' ' -f2 "$work/$1" | sort -n | tail -1; }

row() {  # workload tool median mib/s ratio peak
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$out/install.tsv"
}

package=$nginx_dir/www/pluvionfull.zip
url=http://127.0.0.1:$port/pluvionfull.zip
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 100 400)
for size in "${sizes[@]}"; do
  rm -rf "$work/tree"
  python3 bench/make_package.py "$size" "$package" --tree "$work/tree"
  makensis -V1 -DTREE="$work/tree" -DOUT="$peer" -DTARGET="$nsis_target" bench/install/peer.nsi
  (cd "$work/tree" && find . -type f -printf '%P\t%s\n' | tr '/' '\\') > "$drive_c/floor.list"
  (cd "$work/tree" && find . -type f -printf '%P\t%s\n') > "$work/fill.list"
  # The installers and the floor in one alternation, the host pipeline in another beside the
  # installer: each run begins by deleting what the one before left, and the pipeline leaves twice
  # as many files (its temporary tree and its copy). On an ext4 without a journal every file made
  # soon after steps over the inodes freed in the last minutes (recently_deleted), so in one
  # alternation the measure after the pipeline paid for it more than the others.
  alternate "$size" "klu:$url" "nsis:-" "floor:-"
  alternate "$size-host" "klu:$url" "pipeline:$url"
  k=$(med "$size-klu"); n=$(med "$size-nsis"); f=$(med "$size-floor")
  hk=$(med "$size-host-klu"); p=$(med "$size-host-pipeline")
  row "install ${size} MiB" "KestrumLiveUpdate (Wine)" "$k" "$(speed "$size" "$k")" "$(ratio "$k" "$n")" "$(peak "$size-klu")"
  row "install ${size} MiB" "NSIS installer (Wine)" "$n" "$(speed "$size" "$n")" "1.00" "$(peak "$size-nsis")"
  row "install ${size} MiB" "floor: create, write, move (Wine)" "$f" "$(speed "$size" "$f")" "$(ratio "$f" "$n")" "$(peak "$size-floor")"
  row "install ${size} MiB, host pipeline" "KestrumLiveUpdate (Wine)" "$hk" "$(speed "$size" "$hk")" "$(ratio "$hk" "$p")" "$(peak "$size-host-klu")"
  row "install ${size} MiB, host pipeline" "curl+unzip+cp" "$p" "$(speed "$size" "$p")" "1.00" "$(peak "$size-host-pipeline")"
  echo "install $size MiB: installer $k s (peak $(peak "$size-klu") KiB), NSIS $n s, floor $f s;" \
       "ratio to NSIS $(ratio "$k" "$n"); NSIS to the floor $(ratio "$n" "$f"), installer to the floor $(ratio "$k" "$f");" \
       "beside the host pipeline: installer $hk s, pipeline $p s, ratio $(ratio "$hk" "$p")"

  if [ "$size" = "$limited_mib" ]; then
    # At a realistic speed, unpacking and placing should hide behind the transfer.
    slow=http://127.0.0.1:$limited_port/pluvionfull.zip
    alternate "$size-limited" "klu:$slow" "download:$slow" "start:-"
    k=$(med "$size-limited-klu"); d=$(med "$size-limited-download"); s=$(med "$size-limited-start")
    row "install ${size} MiB at 10 MiB/s" "KestrumLiveUpdate (Wine)" "$k" "$(speed "$size" "$k")" "$(ratio "$k" "$d")" "$(peak "$size-limited-klu")"
    row "install ${size} MiB at 10 MiB/s" "download alone (curl)" "$d" "$(speed "$size" "$d")" "1.00" "$(peak "$size-limited-download")"
    row "install ${size} MiB at 10 MiB/s" "a Win32 program doing nothing (Wine)" "$s" "-" "-" "$(peak "$size-limited-start")"
    # What the installer adds to the transfer beyond starting a process under Wine at all.
    beyond=$(awk -v k="$k" -v s="$s" 'BEGIN {printf "%.3f", k - s}')
    echo "install $size MiB at 10 MiB/s: installer $k s, download alone $d s; ratio $(ratio "$k" "$d");" \
         "Wine's start and end of a program $s s; the installer less that, to the download: $(ratio "$beyond" "$d")"

    # Native extraction of the same package, into memory (tmpfs: the tools' own work) and onto the
    # build disk. On an ext4 without a journal, as on these machines, each file made soon after
    # many were deleted has the kernel step over every inode freed in the last minutes
    # (recently_deleted): the bench's own deletions then weigh the same on every tool, and the disk
    # rows show that more than the tools.
    if [ -x "$unzip_tool" ]; then
      places=()
      [ -d /dev/shm ] && [ -w /dev/shm ] && places+=("memory:/dev/shm/klu-bench-extract.$$")
      places+=("disk:$work/extract")
      for place in "${places[@]}"; do
        where=${place%%:*}
        x=${place#*:}
        kluz() { rm -rf "$x"; mkdir -p "$x"; timed "$1" "$unzip_tool" "$package" "$x"; }
        unz() { rm -rf "$x"; mkdir -p "$x"; timed "$1" unzip -q -o "$package" -d "$x"; }
        sevenz() { rm -rf "$x"; mkdir -p "$x"; timed "$1" 7z x -y -bd "-o$x" "$package"; }
        bsd() { rm -rf "$x"; mkdir -p "$x"; timed "$1" bsdtar -xf "$package" -C "$x"; }
        # On the disk, the least any tool pays: the same files made and filled, nothing decoded.
        fill() { rm -rf "$x"; mkdir -p "$x"; timed "$1" "$work/fill" "$work/fill.list" "$x"; }
        tools=(kluz unz sevenz bsd)
        [ "$where" = disk ] && [ -x "$work/fill" ] && tools+=(fill)
        alternate "$size-extract-$where" "${tools[@]/%/:-}"
        best=unz
        for t in sevenz bsd; do
          if awk -v a="$(med "$size-extract-$where-$t")" -v b="$(med "$size-extract-$where-$best")" 'BEGIN {exit !(a < b)}'; then best=$t; fi
        done
        kz=$(med "$size-extract-$where-kluz"); bz=$(med "$size-extract-$where-$best")
        label="unzip install package ${size} MiB"
        [ "$where" = disk ] && label="$label, onto the disk"
        for t in "${tools[@]}"; do
          name=$(case $t in kluz) echo "klu-unzip" ;; unz) echo "unzip" ;; sevenz) echo "7z" ;; bsd) echo "bsdtar" ;;
                 fill) echo "floor: create and write" ;; esac)
          row "$label" "$name" "$(med "$size-extract-$where-$t")" \
            "$(speed "$size" "$(med "$size-extract-$where-$t")")" "$(ratio "$(med "$size-extract-$where-$t")" "$bz")" \
            "$(peak "$size-extract-$where-$t")"
        done
        best_name=$(case $best in unz) echo unzip ;; sevenz) echo 7z ;; bsd) echo bsdtar ;; esac)
        floor_note=""
        [ "$where" = disk ] && [ -x "$work/fill" ] && floor_note="; creating and filling the files alone $(med "$size-extract-$where-fill") s"
        echo "extract $size MiB natively into $where: klu-unzip $kz s (peak $(peak "$size-extract-$where-kluz") KiB)," \
             "fastest peer $best_name $bz s; ratio $(ratio "$kz" "$bz")$floor_note"
        rm -rf "$x"
      done
    fi
  fi
done
clean_install
rm -rf "$work/tree" "$peer" "$floor_exe" "$drive_c/floor.list" "$drive_c/floorwork" "$work/fill" "$work/fill.list"
