#!/usr/bin/env bash
# Runs the worker tests under Wine against the scripted package server.
#   run_worker_tests.sh TEST_PROGRAM [gtest args...]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1; shift
work=$(mktemp -d)
python3 "$here/package_server.py" --port-file "$work/port" --dir "$work/packages" --lifetime 600 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
if [ ! -s "$work/port" ]; then echo "package server did not start" >&2; exit 1; fi
export KLU_TEST_PORT=$(cat "$work/port")
# The tests put hostile packages and answers where the server finds them (Wine's Z: drive).
export KLU_TEST_PACKAGES="Z:${work//\//\\}\\packages"
timeout 600 "$here/../wine/wine-run" "$program" "$@"
