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
# Signed packages: two keys made for this run, and the cases of one package (tests/sign).
signer="timeout 120 python3 $here/../sign/sign_package.py"
mkdir -p "$work/signing"
$signer keygen "$work/signing/publisher.pem" "$work/signing/publisher.pub.pem" &&
  $signer keygen "$work/signing/other.pem" "$work/signing/other.pub.pem" &&
  $signer variants "$work/signing/publisher.pem" "$work/signing/other.pem" "$work/packages/nobatch.zip" "$work/signing" ||
  { echo "signed packages could not be made" >&2; exit 1; }
export KLU_TEST_SIGNING="Z:${work//\//\\}\\signing"
timeout 600 "$here/../wine/wine-run" "$program" "$@"
