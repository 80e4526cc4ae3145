#!/usr/bin/env bash
# with-server.sh CMD...: runs CMD with the scripted HTTP server up, its ports in KLU_HTTP_PORTS
# ("MAIN REFUSED STUCK"). The server and CMD are time-limited; the server is stopped on every way
# out.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
timeout 900 python3 "$here/http_script_server.py" --port-file "$work/ports" --lifetime 850 &
server=$!
for _ in $(seq 100); do
  [ -s "$work/ports" ] && break
  sleep 0.1
done
if [ ! -s "$work/ports" ]; then echo "with-server: the HTTP server did not start" >&2; exit 1; fi
KLU_HTTP_PORTS=$(cat "$work/ports")
export KLU_HTTP_PORTS
timeout "${KLU_TEST_TIMEOUT:-600}" "$@"
