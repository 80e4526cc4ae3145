#!/usr/bin/env bash
# resume-real.sh WORKDIR [RUNNER] KLU-GET
# klu-get resuming against a real server: nginx, with its own range support (ETag, Last-Modified,
# 206, If-Range), behind the cutting proxy (tests/servers/cutting_proxy.py), which closes every
# connection after a set number of bytes. Every server is started here on free ports,
# time-limited, and stopped on every way out.
#   - 10 MiB cuts of a 64 MiB file: the file whole, one request per cut plus one, each retry
#     asking for the rest with the first answer's ETag, at most 1.05 times the file moved, the
#     work events never going back;
#   - the default five retries: enough for six cuts that each bring the file further; five
#     retries and no more for answers that bring nothing, the beginning of the file kept;
#   - cuts by a reset instead of an orderly close;
#   - the file replaced on the server during the wait: nginx's 200 restarts the download and the
#     result is the new version whole;
#   - a server without ETags: the retries carry its Last-Modified.
set -u
work=$1; shift
getter=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/nginx-conf.sh"
. "$here/start-server.sh"
. "$here/real-peer.sh"

rm -rf "$work"; mkdir -p "$work/www" "$work/temp"
work=$(cd "$work" && pwd)
MiB=1048576

nginx_port=$(free_port)
plain_port=$(free_port)  # the same files without ETags
nginx_conf "$work" "$nginx_port" "server { listen 127.0.0.1:$plain_port; root $work/www; etag off; }"
timeout 400 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
pids+=($!)
wait_port "$plain_port" || { echo "nginx did not start"; cat "$work/nginx-error.log"; exit 1; }

# proxy NAME UPSTREAM-PORT [ARGS...]: a cutting proxy in front of UPSTREAM-PORT, its requests
# logged in WORK/NAME.log; sets proxy_port.
proxy() {
  local name=$1 upstream=$2
  shift 2
  klu_start_server "$work/$name.port" 300 "$here/cutting_proxy.py" --upstream "127.0.0.1:$upstream" \
    --log "$work/$name.log" "$@" || exit 1
  pids+=("$KLU_SERVER_PID")
  proxy_port=$(cat "$work/$name.port")
}
# proxy_stat PORT NAME: one figure of a proxy's count (requests, cuts, bytes).
proxy_stat() { curl -s --max-time 10 "http://127.0.0.1:$1/.cutting-proxy/stats" | awk -v n="$2" '$1 == n { print $2 }'; }
# fetch NAME URL [OPTIONS...]: klu-get URL into WORK/NAME.bin, events and errors beside it.
fetch() {
  local name=$1 url=$2
  shift 2
  timeout 200 "${getter[@]}" "$@" "$url" "$(out_path "$work/$name.bin")" >"$work/$name.events" 2>"$work/$name.err"
}
# field LOG LINE NAME: a field of one line of a proxy's log.
field() { sed -n "$2p" "$1" | tr '\t' '\n' | sed -n "s/^$3=//p"; }
# header NAME PATH PORT: a header of nginx's answer, as nginx sends it.
header() {
  curl -sI --max-time 10 "http://127.0.0.1:$3$2" | tr -d '\r' | awk -v n="$1:" 'tolower($1) == tolower(n) { $1 = ""; sub(/^ /, ""); print }'
}
# ranges LOG VALIDATOR CUT: every line after the first asks for the rest, bytes=N-, N growing by
# a connection's worth less its answer's head (at most 1 KiB), with VALIDATOR as If-Range and a
# 206 from nginx; the first asks for the whole file and gets a 200.
ranges() {
  awk -F'\t' -v validator="$2" -v cut="$3" '
    NR == 1 { bad = ($2 != "range=-" || $3 != "if-range=-" || $4 != "status=200"); next }
    {
      if ($2 !~ /^range=bytes=[0-9]+-$/ || $3 != "if-range=" validator || $4 != "status=206") bad = 1
      n = substr($2, 13) + 0
      if (n - prev < cut - 1024 || n - prev > cut) bad = 1
      prev = n
    }
    END { exit bad }' "$1"
}

# --- 1. 10 MiB cuts of a 64 MiB file (a size that is no multiple of the cut): seven requests.
size=$((64 * MiB + 12345))
head -c "$size" /dev/urandom > "$work/www/big.bin"
etag=$(header ETag /big.bin "$nginx_port")
proxy cut10 "$nginx_port"
fetch resumed "http://127.0.0.1:$proxy_port/big.bin" --events --retries 10 --retry-wait 20
check "a download cut every 10 MiB exits 0" $?
cat "$work/resumed.err"
cmp -s "$work/www/big.bin" "$work/resumed.bin"; check "the download cut six times is byte-identical" $?
requests=$(proxy_stat "$proxy_port" requests) cuts=$(proxy_stat "$proxy_port" cuts) moved=$(proxy_stat "$proxy_port" bytes)
echo "     requests $requests, cuts $cuts, bytes moved $moved for $size ($(awk -v a="$moved" -v b="$size" 'BEGIN { printf "%.4f", a / b }') times the file)"
[ "$cuts" = 6 ] && [ "$requests" = 7 ]; check "the proxy cut six times and saw seven requests" $?
[ "$moved" -le $((size * 105 / 100)) ]; check "at most 1.05 times the file went over the network" $?
[ -n "$etag" ] && ranges "$work/cut10.log" "$etag" $((10 * MiB)); check "each retry asks for the rest with If-Range: $etag" $?
[ "$(grep -c . "$work/cut10.log")" = 7 ]; check "nginx's answers were logged, one a request" $?
# The bar's maximum stays the whole length and its position never goes back.
tr -d '\r' < "$work/resumed.events" | awk -v size="$size" '
  $1 == "begin" { if ($2 != size) bad = 1 }
  $1 == "work" { if ($2 + 0 < last) bad = 1; last = $2 + 0 }
  END { exit bad || last != size }'
check "every begin is $size, the work counts never go back and end at $size" $?

# --- 2. The retries' bound. Six cuts with the default five retries still complete, as each
# retry brings the file further. Then answers that bring nothing: after a first cut, every
# further answer is cut where its body begins: five retries, the file's beginning kept, the last
# work count short; exit 1 with the error: the reset's, or "Connection Closed Gracefully." after
# an orderly close before the length.
proxy progress "$nginx_port"
fetch progress "http://127.0.0.1:$proxy_port/big.bin" --retry-wait 20
check "six cuts, each bringing the file further, with the default retries: exit 0" $?
cmp -s "$work/www/big.bin" "$work/progress.bin"; check "the download with the default retries is byte-identical" $?
[ "$(proxy_stat "$proxy_port" requests)" = 7 ]; check "one request per cut plus one" $?
# kept_prefix NAME: the file holds the source's beginning and less than all of it.
kept_prefix() {
  local kept
  kept=$(stat -c %s "$work/$1.bin" 2>/dev/null || echo 0)
  [ "$kept" -lt "$size" ] && cmp -s -n "$kept" "$work/www/big.bin" "$work/$1.bin"
}
declare -A status
for how in reset close; do
  proxy "stuck-$how" "$nginx_port" --heads-only-after 1 --how "$how"
  fetch "stuck-$how" "http://127.0.0.1:$proxy_port/big.bin" --events --retry-wait 20
  status[$how]=$?
  [ "$(proxy_stat "$proxy_port" requests)" = 6 ]; check "answers without a body byte ($how): the first request and five retries, no more" $?
  kept_prefix "stuck-$how"; check "the file keeps the source's beginning, never more ($how)" $?
  last=$(tr -d '\r' < "$work/stuck-$how.events" | awk '$1 == "work" { n = $2 } END { print n + 0 }')
  [ "$last" -lt "$size" ]; check "the last work count, $last, is short of $size ($how, exit ${status[$how]})" $?
done
error=$(tr '\r\n' '  ' < "$work/stuck-reset.err")
[ "${status[reset]}" = 1 ] && [ -n "$error" ]; check "after the last reset: exit 1 with $error" $?
[ "${status[close]}" = 1 ] && grep -q 'Connection Closed Gracefully.' "$work/stuck-close.err"
check "after the last orderly close before the length: exit 1, Connection Closed Gracefully." $?

# --- 3. Cuts by a reset every 16 MiB: what the reset lost is asked for again.
proxy reset "$nginx_port" --cut $((16 * MiB)) --how reset
fetch reset "http://127.0.0.1:$proxy_port/big.bin" --retries 10 --retry-wait 20
check "a download reset every 16 MiB exits 0" $?
cmp -s "$work/www/big.bin" "$work/reset.bin"; check "the download reset every 16 MiB is byte-identical" $?
requests=$(proxy_stat "$proxy_port" requests) cuts=$(proxy_stat "$proxy_port" cuts)
[ "$cuts" -ge 4 ] && [ "$requests" = $((cuts + 1)) ]; check "one request per reset plus one ($cuts resets)" $?

# --- 4. The file replaced on the server while klu-get waits after the first cut: If-Range no
# longer matches, nginx answers 200 with the new version, and that is the file, whole.
head -c $((40 * MiB)) /dev/urandom > "$work/www/changing.bin"
head -c $((4 * MiB + 7)) /dev/urandom > "$work/new.bin"
touch -d '2020-01-02 03:04:05' "$work/new.bin"
old_etag=$(header ETag /changing.bin "$nginx_port")
proxy change "$nginx_port"
fetch changed "http://127.0.0.1:$proxy_port/changing.bin" --retries 3 --retry-wait 3000 &
getter_pid=$!
for _ in $(seq 1200); do [ "$(proxy_stat "$proxy_port" cuts)" = 1 ] && break; sleep 0.05; done
mv "$work/new.bin" "$work/www/changing.bin"
wait "$getter_pid"
check "a file replaced between attempts: exit 0" $?
cmp -s "$work/www/changing.bin" "$work/changed.bin"; check "the result is the new version, whole" $?
[ "$(field "$work/change.log" 2 if-range)" = "$old_etag" ] && [ "$(field "$work/change.log" 2 status)" = 200 ] \
  && [ "$(grep -c . "$work/change.log")" = 2 ]
check "the retry named the old ETag and nginx answered 200 with the new version" $?

# --- 5. A server without ETags: the retries carry its Last-Modified.
head -c $((24 * MiB)) /dev/urandom > "$work/www/plain.bin"
modified=$(header Last-Modified /plain.bin "$plain_port")
proxy plain "$plain_port"
fetch plain "http://127.0.0.1:$proxy_port/plain.bin" --retries 5 --retry-wait 20
check "a download from a server without ETags exits 0" $?
cmp -s "$work/www/plain.bin" "$work/plain.bin"; check "the download without ETags is byte-identical" $?
[ -n "$modified" ] && ranges "$work/plain.log" "$modified" $((10 * MiB)) && [ "$(grep -c . "$work/plain.log")" = 3 ]
check "each retry asks for the rest with If-Range: $modified" $?

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
