#!/usr/bin/env bash
# The retry dialog: a file of the install folder held open without sharing by another process.
# Its list names the file; Esc, and Enter on the list, do nothing; Retry while the file is held
# asks again; Enter on Retry (its first focus) after the release places the file; Cancel and
# the close box fail the run with S_CopyError; a hidden run answers by itself.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
e2e_start
[ -f "$E2E_BUILD/worker_child_locker.exe" ] || { echo "missing $E2E_BUILD/worker_child_locker.exe" >&2; exit 1; }

folder=$E2E_C/e2e/locked

# lock NAME [FILE]: a file (a.txt of C:\e2e\locked) held until release NAME appears.
lock() {
  rm -f "$E2E_WORK/ready-$1" "$E2E_WORK/release-$1"
  ( timeout 200 wine "$E2E_BUILD/worker_child_locker.exe" "${2:-C:\e2e\locked\a.txt}" \
      "Z:${E2E_WORK//\//\\}\\ready-$1" "Z:${E2E_WORK//\//\\}\\release-$1" >/dev/null 2>&1 ) &
  E2E_PIDS+=($!)
  for _ in $(seq 300); do [ -e "$E2E_WORK/ready-$1" ] && return 0; sleep 0.1; done
  e2e_log "the locker did not start"; return 1
}
release() { touch "$E2E_WORK/release-$1"; sleep 1; }

# --- 1. Retry after the release places the file.
reset_install
mkdir -p "$folder"; printf 'old' >"$folder/a.txt"
lock first
run_program /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 set-text EFolder 'C:\e2e\locked' click BInstall >/dev/null
listing=$(ask retry-list 60000)
shot retry-1-dialog
check "retry dialog: caption, message and the locked file" \
  "File Copy Problem [Install was unable to copy some files. Try closing any application that might be using those files and click Retry.] a.txt (C:\\e2e\\locked)" \
  "$listing"
drive retry-answer escape 5000 >/dev/null
sleep 1
check "Esc leaves the dialog open" "a.txt (C:\\e2e\\locked)" "$(ask retry-list 5000 | sed 's/.*] //')"
# Retry has the first focus; Tab goes round Cancel and the list, where Enter does nothing.
check "Tab from Retry, and on to the list" "$(printf 'retry-answer: tab 202\nretry-answer: tab 203')" \
  "$(drive retry-answer tab 5000 retry-answer tab 5000)"
drive retry-answer enter 5000 >/dev/null
sleep 1
check "Enter on the list leaves the dialog open" "a.txt (C:\\e2e\\locked)" "$(ask retry-list 5000 | sed 's/.*] //')"
check "Tab back to Retry" "tab 201" "$(ask retry-answer tab 5000)"
# Retry while the file is still held asks again.
drive retry-answer retry 5000 >/dev/null
sleep 1
check "Retry while the file is held asks again" "a.txt (C:\\e2e\\locked)" "$(ask retry-list 30000 | sed 's/.*] //')"
release first
# Enter, no click: Retry is the default button of the new dialog.
drive retry-answer enter 5000 >/dev/null
out=$(drive wait-visible PanelFinish 60000 text FLabelTop)
check "Enter on Retry after the release completes the install" "$(printf 'wait-visible: yes\ntext: Installation Complete')" "$out"
check "the new file is in place" "alpha" "$(tr -d '\r\n' <"$folder/a.txt")"
drive click FBOk >/dev/null
check "status after Retry" "0" "$(program_status 60)"

# --- 2. Cancel, and the close box, fail the run with S_CopyError.
for how in cancel close; do
  reset_install
  mkdir -p "$folder"; printf 'old' >"$folder/a.txt"
  lock "$how"
  run_program /URL "$E2E_URL/pkg/nobatch.zip"
  drive wait-window 30000 set-text EFolder 'C:\e2e\locked' click BInstall >/dev/null
  drive retry-answer "$how" 60000 >/dev/null
  out=$(drive wait-visible PanelFinish 60000 text FLabelTop text FLabelMessage)
  shot "retry-2-after-$how"
  check "$how: failure heading" "text: Installation Fail" "$(echo "$out" | sed -n 2p)"
  check_has "$how: S_CopyError" "Unable to copy one or more files." "$(echo "$out" | sed -n 3p)"
  release "$how"
  drive click FBOk >/dev/null
  check "$how: status" "1" "$(program_status 60)"
  check "$how: the old file stays" "old" "$(tr -d '\r\n' <"$folder/a.txt")"
done

# --- 3. A hidden run cannot ask: it retries by itself three times (the pause shortened by the test
# setting), never shows the dialog, and fails with S_CopyError in its failure box.
reset_install
proposed=$E2E_C/Program\ Files/Veltrona/Pluvion
mkdir -p "$proposed"; printf 'old' >"$proposed/a.txt"
lock hidden 'C:\Program Files\Veltrona\Pluvion\a.txt'
export KLU_TEST_RETRY_PAUSE_MS=100
run_program /HIDE /URL "$E2E_URL/pkg/nobatch.zip"
unset KLU_TEST_RETRY_PAUSE_MS
box=$(ask box-answer 1 60000)
shot retry-3-hidden-run
# The box comes only because no dialog waits for an answer.
check_has "hidden run: the failure box, without a dialog" "Unable to copy one or more files." "$box"
check "hidden run: status" "1" "$(program_status 60)"
check "hidden run: the old file stays" "old" "$(tr -d '\r\n' <"$proposed/a.txt")"
release hidden

e2e_finish
