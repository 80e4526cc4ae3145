#!/usr/bin/env bash
# real-servers.sh WORKDIR [RUNNER] KLU-GET
# klu-get against real servers on 127.0.0.1: nginx serving a large file (a Content-Length body)
# and tinyproxy as the proxy in front of it (absolute-form requests). Both are started here with
# their own configuration in WORKDIR, on free ports, time-limited, and stopped on every way out.
set -u
work=$1; shift
getter=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/nginx-conf.sh"
. "$here/real-peer.sh"

rm -rf "$work"; mkdir -p "$work/www" "$work/temp"
work=$(cd "$work" && pwd)
head -c $((24 * 1024 * 1024 + 12345)) /dev/urandom > "$work/www/big.bin"

nginx_port=$(free_port)
nginx_conf "$work" "$nginx_port"
timeout 280 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
pids+=($!)

proxy_port=$(free_port)
cat > "$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 60
LogFile "$work/tinyproxy.log"
LogLevel Info
MaxClients 8
Allow 127.0.0.1
CONF
timeout 280 /usr/bin/tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
pids+=($!)

wait_port "$nginx_port" || { echo "nginx did not start"; cat "$work/nginx-error.log"; exit 1; }
wait_port "$proxy_port" || { echo "tinyproxy did not start"; cat "$work/tinyproxy.out"; exit 1; }

size=$(stat -c %s "$work/www/big.bin")
origin="http://127.0.0.1:$nginx_port"

# Direct: the whole file, begin with its length, the last work count equal to it.
timeout 120 "${getter[@]}" --events "$origin/big.bin" "$(out_path "$work/direct.bin")" >"$work/direct.events" 2>"$work/direct.err"
check "direct download exits 0" $?
cmp -s "$work/www/big.bin" "$work/direct.bin"; check "direct download is byte-identical" $?
[ "$(head -1 "$work/direct.events" | tr -d '\r')" = "begin $size" ]; check "direct download begins with $size" $?
[ "$(grep '^work' "$work/direct.events" | tail -1 | tr -d '\r')" = "work $size" ]; check "direct download ends at $size" $?
awk '/^work/ { n = $2 + 0; if (n - prev > 32768 || n <= prev) bad = 1; prev = n } END { exit bad }' "$work/direct.events"
check "every piece is at most 32768 bytes" $?

# A missing file: the status line on standard error, exit 1.
timeout 60 "${getter[@]}" "$origin/missing.bin" "$(out_path "$work/missing.bin")" >/dev/null 2>"$work/missing.err"
[ $? -eq 1 ]; check "404 exits 1" $?
[ "$(tr -d '\r' < "$work/missing.err" | head -1)" = "HTTP/1.1 404 Not Found" ]; check "404 reports its status line" $?

# A file that cannot be created: its message, exit 1.
timeout 60 "${getter[@]}" "$origin/big.bin" "$(out_path "$work/no-such-folder/x.bin")" >/dev/null 2>"$work/create.err"
[ $? -eq 1 ]; check "an uncreatable file exits 1" $?
grep -q '^Cannot create file ".*no-such-folder.x.bin"\. ' "$work/create.err"; check "an uncreatable file is reported" $?

# Through tinyproxy: the same file, the request in absolute form with port written out.
timeout 120 "${getter[@]}" --proxy "127.0.0.1:$proxy_port" "$origin/big.bin?via=proxy" "$(out_path "$work/proxied.bin")" \
  >/dev/null 2>"$work/proxied.err"
check "download through tinyproxy exits 0" $?
cmp -s "$work/www/big.bin" "$work/proxied.bin"; check "download through tinyproxy is byte-identical" $?
grep -q "GET http://127.0.0.1:$nginx_port/big.bin?via=proxy HTTP/1.1" "$work/tinyproxy.log"
check "tinyproxy received the absolute form" $?
grep -q "\"GET /big.bin?via=proxy HTTP/1.[01]\" 200 $size" "$work/nginx-access.log"
check "nginx served the proxied request" $?

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
