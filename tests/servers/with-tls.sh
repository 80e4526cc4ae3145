#!/usr/bin/env bash
# with-tls.sh WORKDIR [RUNNER] PROGRAM ARGS...: runs PROGRAM with the TLS test servers up on
# 127.0.0.1, all started here with their own files in WORKDIR, time-limited and stopped on every
# way out. PROGRAM finds them in the environment:
#   KLU_TLS_GOOD, _UNTRUSTED, _EXPIRED, _WRONGNAME  nginx ports, one certificate each (tls-certs.sh)
#   KLU_TLS_OLD        nginx offering TLS 1.0 and 1.1 only
#   KLU_TLS_FAULT, KLU_TLS_PLAIN, KLU_TLS_STALL     tls_fault_server.py's ports
#   KLU_TLS_PROXY      tinyproxy, which lets CONNECT through to KLU_TLS_GOOD only
#   KLU_TLS_WORK       WORKDIR (nginx serves WORKDIR/www; tinyproxy logs to WORKDIR/tinyproxy.log)
# OpenSSL trusts the test authority alone (SSL_CERT_FILE, SSL_CERT_DIR). With a Wine RUNNER the
# program runs in a prefix of its own, copied from the bench's, whose root store holds the test
# authority (added by TRUST_ROOT, the trust_root.exe helper, given in KLU_TLS_TRUST_ROOT).
set -u
work=$1; shift
runner=()
case "${1:-}" in *wine-run) runner=("$1"); shift ;; esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/nginx-conf.sh"
. "$here/tls-certs.sh"
. "$here/ports.sh"

rm -rf "$work"; mkdir -p "$work/www" "$work/temp"
work=$(cd "$work" && pwd)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  if [ -d "$work/prefix" ]; then
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    WINEPREFIX=$work/prefix timeout 30 wineserver -w 2>/dev/null
    rm -rf "$work/prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The good certificate names a revocation list on a port where nothing listens: the check must
# find the source unreachable and still accept the chain.
crl_port=$(free_port)
tls_certs "$work/certs" "http://127.0.0.1:$crl_port/test.crl" || { echo "with-tls: openssl failed"; exit 1; }
printf 'hello over tls\n' > "$work/www/small.txt"

declare -A ports
servers=""
for name in good untrusted expired wrongname old; do
  ports[$name]=$(free_port)
  cert=$name; protocols="TLSv1.2 TLSv1.3"; ciphers=""
  if [ $name = old ]; then cert=good; protocols="TLSv1 TLSv1.1"; ciphers="ssl_ciphers DEFAULT:@SECLEVEL=0;"; fi
  servers+="server { listen 127.0.0.1:${ports[$name]} ssl; root $work/www; ssl_protocols $protocols; $ciphers
    ssl_certificate $work/certs/$cert.pem; ssl_certificate_key $work/certs/$cert.key; }
  "
done
nginx_conf "$work" "$(free_port)"
# The TLS servers join the plain one of nginx_conf's configuration.
python3 - "$work/nginx.conf" "$servers" <<'PY'
import sys
path, servers = sys.argv[1], sys.argv[2]
text = open(path).read()
at = text.rindex("}")
open(path, "w").write(text[:at] + servers + "\n}\n")
PY
timeout 880 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
pids+=($!)

timeout 880 python3 "$here/tls_fault_server.py" --port-file "$work/fault-ports" --cert "$work/certs/good.pem" \
  --key "$work/certs/good.key" --log "$work/fault.log" --lifetime 870 &
pids+=($!)

proxy_port=$(free_port)
cat > "$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 30
LogFile "$work/tinyproxy.log"
LogLevel Info
MaxClients 8
Allow 127.0.0.1
ConnectPort ${ports[good]}
CONF
timeout 880 /usr/bin/tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
pids+=($!)

for name in good untrusted expired wrongname old; do
  wait_port "${ports[$name]}" || { echo "with-tls: nginx did not start"; cat "$work/nginx-error.log"; exit 1; }
done
wait_port "$proxy_port" || { echo "with-tls: tinyproxy did not start"; cat "$work/tinyproxy.out"; exit 1; }
for _ in $(seq 100); do [ -s "$work/fault-ports" ] && break; sleep 0.1; done
read -r fault plain stall < "$work/fault-ports" || { echo "with-tls: the fault server did not start"; exit 1; }

export KLU_TLS_GOOD=${ports[good]} KLU_TLS_UNTRUSTED=${ports[untrusted]} KLU_TLS_EXPIRED=${ports[expired]}
export KLU_TLS_WRONGNAME=${ports[wrongname]} KLU_TLS_OLD=${ports[old]} KLU_TLS_PROXY=$proxy_port
export KLU_TLS_FAULT=$fault KLU_TLS_PLAIN=$plain KLU_TLS_STALL=$stall KLU_TLS_WORK=$work

export SSL_CERT_FILE=$work/certs/ca.pem SSL_CERT_DIR=$work/no-such-folder
if [ ${#runner[@]} -gt 0 ]; then
  base=${KLU_WINEPREFIX:-$here/../../build/wineprefix}
  [ -f "$base/.klu-ready" ] || "$here/../wine/winebench" prepare || exit 1
  cp -a "$base" "$work/prefix"
  export KLU_WINEPREFIX=$work/prefix
  WINEPREFIX=$work/prefix wineserver -p </dev/null >/dev/null 2>&1
  "${runner[@]}" "${KLU_TLS_TRUST_ROOT:?}" "Z:$work/certs/ca.der" || { echo "with-tls: trust_root failed"; exit 1; }
fi
# KLU_TLS_SCRIPT=1: the command is a script that runs Wine itself (in KLU_WINEPREFIX).
[ "${KLU_TLS_SCRIPT:-0}" = 1 ] && runner=()
timeout "${KLU_TEST_TIMEOUT:-600}" "${runner[@]}" "$@"
