#!/usr/bin/env bash
# Runs the worker tests under Wine against the scripted package server.
#   run_worker_tests.sh TEST_PROGRAM [gtest args...]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1; shift
. "$here/../servers/start-server.sh"
work=$(mktemp -d)
klu_start_server "$work/port" 600 "$here/package_server.py" --dir "$work/packages" --stall 8
started=$?
server=$KLU_SERVER_PID
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
[ $started -eq 0 ] || exit 1
export KLU_TEST_PORT=$(cat "$work/port")
# The waits before further requests after a dropped download: 20, 40, 80, 160, 320 ms.
export KLU_TEST_RETRY_WAIT_MS=20
# The tests put hostile packages and answers where the server finds them (Wine's Z: drive).
export KLU_TEST_PACKAGES="Z:${work//\//\\}\\packages"
# Signed packages: two keys made for this run, and the cases of one package (tests/sign).
signer="timeout 120 python3 $here/../sign/sign_package.py"
mkdir -p "$work/signing"
$signer keygen "$work/signing/publisher.pem" "$work/signing/publisher.pub.pem" &&
  $signer keygen "$work/signing/other.pem" "$work/signing/other.pub.pem" &&
  $signer variants "$work/signing/publisher.pem" "$work/signing/other.pem" "$work/packages/nobatch.zip" "$work/signing" ||
  { echo "signed packages could not be made" >&2; exit 1; }
export KLU_TEST_SIGNING="Z:${work//\//\\}\\signing"
timeout 600 "$here/../wine/wine-run" "$program" "$@"
