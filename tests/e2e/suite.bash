# Shared set-up of the end-to-end suites (sourced): a private X display (Xvfb), a private Wine
# prefix copied from a prepared base, the scripted package server, the program and the driver,
# screenshots, checks, and a cleanup trap that stops everything this suite started.
#
# KLU_E2E_BUILD selects the Win32 build folder (default build/win32).
set -u
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_BUILD=${KLU_E2E_BUILD:-$E2E_ROOT/build/win32}
E2E_SUITE=$(basename "$0" .sh)
E2E_WORK=$E2E_ROOT/build/e2e/$E2E_SUITE
E2E_SHOTS=$E2E_ROOT/build/e2e
E2E_FAILS=0
E2E_PASSES=0
E2E_PIDS=()
. "$E2E_ROOT/tests/wine/wine-env.sh"
. "$E2E_ROOT/tests/servers/start-server.sh"

e2e_log() { echo "[$E2E_SUITE] $*"; }

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-/nonexistent}" ]; then
    wineserver -k 2>/dev/null
    timeout 30 wineserver -w 2>/dev/null
  fi
  for pid in "${E2E_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  # The prefix copy is large: kept only when asked (KLU_E2E_KEEP=1) or when the suite failed.
  if [ "${KLU_E2E_KEEP:-0}" != 1 ] && [ "$E2E_FAILS" -eq 0 ] && [ -n "${E2E_WORK:-}" ]; then
    rm -rf "$E2E_WORK/prefix"
  fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# check NAME EXPECTED ACTUAL: one assertion, counted.
check() {
  if [ "$2" == "$3" ]; then
    E2E_PASSES=$((E2E_PASSES + 1)); e2e_log "ok   $1"
  else
    E2E_FAILS=$((E2E_FAILS + 1)); e2e_log "FAIL $1: expected [$2], got [$3]"
  fi
}
# check_has NAME NEEDLE HAYSTACK
check_has() {
  if [[ "$3" == *"$2"* ]]; then
    E2E_PASSES=$((E2E_PASSES + 1)); e2e_log "ok   $1"
  else
    E2E_FAILS=$((E2E_FAILS + 1)); e2e_log "FAIL $1: [$2] not in [$3]"
  fi
}

e2e_finish() {
  e2e_log "$E2E_PASSES checks passed, $E2E_FAILS failed"
  [ "$E2E_FAILS" -eq 0 ]
}

e2e_start() {
  for f in KestrumLiveUpdate.exe e2e_driver.exe; do
    if [ ! -f "$E2E_BUILD/$f" ]; then echo "missing $E2E_BUILD/$f: build the win32 preset first" >&2; exit 1; fi
  done
  rm -rf "$E2E_WORK"; mkdir -p "$E2E_WORK" "$E2E_SHOTS"
  # The display: the first free one from :91 on.
  local d
  for d in $(seq 91 160); do
    [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] || break
  done
  Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  export DISPLAY=":$d"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$d" ] && break; sleep 0.1; done
  # The prefix: a copy of the prepared base, so that every suite starts from the same state.
  local base=$E2E_ROOT/build/e2e-base-prefix
  KLU_WINEPREFIX=$base timeout 600 "$E2E_ROOT/tests/wine/winebench" prepare || exit 1
  cp -a "$base" "$E2E_WORK/prefix"
  klu_wine_env "$E2E_WORK/prefix"
  wineserver -p
  timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1
  # No test may reach the host's browser through Wine's own: the registered browsers point to a
  # program that does not exist until a test puts one there.
  local cls
  for cls in http htmlfile; do
    wine reg add "HKCR\\$cls\\shell\\open\\command" /ve /d '"C:\e2e\browser\browser.exe" -nohome "%1"' /f \
      >/dev/null 2>&1
  done
  # The package server.
  klu_start_server "$E2E_WORK/port" 1200 "$E2E_ROOT/tests/worker/package_server.py" --dir "$E2E_WORK/packages" \
    --stall "${E2E_STALL:-5}"
  local started=$?
  E2E_PIDS+=("$KLU_SERVER_PID")
  [ $started -eq 0 ] || exit 1
  E2E_PORT=$(cat "$E2E_WORK/port")
  E2E_URL=http://127.0.0.1:$E2E_PORT
  E2E_C=$WINEPREFIX/drive_c
  E2E_USER=$(ls "$E2E_C/users" | grep -v -x Public | head -1)
  E2E_PROGRAMS=$E2E_C/users/$E2E_USER/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
  e2e_log "display $DISPLAY, prefix $WINEPREFIX, server $E2E_URL"
}

# The program in the background; its exit status lands in $E2E_WORK/status.
run_program() {
  rm -f "$E2E_WORK/status"
  ( timeout 300 wine "$E2E_BUILD/KestrumLiveUpdate.exe" "$@" >/dev/null 2>&1; echo $? >"$E2E_WORK/status" ) &
  E2E_PIDS+=($!)
}
# The program's status once it has ended (waits up to $1 seconds); "running" when it has not.
program_status() {
  local limit=${1:-60}
  for _ in $(seq $((limit * 10))); do
    [ -s "$E2E_WORK/status" ] && { cat "$E2E_WORK/status"; return; }
    sleep 0.1
  done
  echo running
}

# The driver: prints "command: result" lines.
drive() { timeout 120 wine "$E2E_BUILD/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
# One result of one driver command.
ask() { drive "$@" | head -1 | sed 's/^[a-z-]*: //'; }

shot() { import -display "$DISPLAY" -window root "$E2E_SHOTS/$1.png" 2>/dev/null || true; }

reg_value() {  # reg_value KEY NAME
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'
}

# exists PATH...: "yes" or "no" for each path, on one line.
exists() {
  local p out=()
  for p in "$@"; do if [ -e "$p" ]; then out+=(yes); else out+=(no); fi; done
  echo "${out[*]}"
}

# Removes what an install leaves, so that the next case starts clean.
reset_install() {
  wine reg delete 'HKCU\Software\Kestrum' /f >/dev/null 2>&1
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion' /f >/dev/null 2>&1
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Pluvion /f >/dev/null 2>&1
  rm -rf "$E2E_C/Program Files/Veltrona" "$E2E_PROGRAMS/Veltrona" "$E2E_C/users/$E2E_USER/Desktop/Pluvion.lnk"
  rm -rf "$E2E_C/e2e"
}
