# Sourced by the scripts that run klu-get against real servers on 127.0.0.1 (nginx, tinyproxy,
# the cutting proxy). Expects `getter` (the program, its runner first) to be set. Gives:
#   check NAME STATUS     one assertion, counted in `failures`; STATUS 0 passes
#   free_port, wait_port  from ports.sh
#   out_path PATH         PATH as the program takes it (a Win32 klu-get under Wine: drive Z)
#   pids+=(PID)           servers stopped on every way out of the script
# shellcheck shell=bash
. "$(dirname "${BASH_SOURCE[0]}")/ports.sh"
pids=()
failures=0
real_cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
}
trap real_cleanup EXIT
trap 'exit 130' INT TERM

check() {
  if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

out_path() {
  case "${getter[-1]}" in *.exe) echo "Z:$1" ;; *) echo "$1" ;; esac
}
