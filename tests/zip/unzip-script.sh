# Sourced by the scripts that drive klu-unzip (crosscheck.sh, writers.sh) with their arguments:
# KLU_UNZIP [RUNNER], RUNNER being tests/wine/wine-run for the Win32 build. Gives them a work
# folder removed at exit, failure counting, and run_klu.
set -u
KLU=$1
RUNNER=${2:-}
export TZ=UTC LC_ALL=C.UTF-8
work=$(mktemp -d "${TMPDIR:-/tmp}/klu-$(basename "$0" .sh).XXXXXX")
cleanup() { chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The folder argument as the program under test sees it.
target() { if [ -n "$RUNNER" ]; then echo "Z:$1"; else echo "$1"; fi; }
run_klu() {  # archive folder
  timeout 300 $RUNNER "$KLU" "$(target "$1")" "$(target "$2")"
}
