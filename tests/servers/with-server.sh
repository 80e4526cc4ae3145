#!/usr/bin/env bash
# with-server.sh CMD...: runs CMD with the scripted HTTP server up, its ports in KLU_HTTP_PORTS
# ("MAIN REFUSED STUCK"). The server and CMD are time-limited; the server is stopped on every way
# out.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/start-server.sh"
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
klu_start_server "$work/ports" 850 "$here/http_script_server.py"
started=$?
server=$KLU_SERVER_PID
[ $started -eq 0 ] || exit 1
KLU_HTTP_PORTS=$(cat "$work/ports")
export KLU_HTTP_PORTS
timeout "${KLU_TEST_TIMEOUT:-600}" "$@"
