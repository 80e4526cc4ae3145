#!/usr/bin/env bash
# No exception ends the process: memory made to run out (KLU_FAIL_ALLOCATION) in the window's
# actions and in the window's side of the worker's hand-offs. A window action shows the error in
# a box and the program goes on; a hand-off fails the run with S_UnknownError.
here=$(cd "$(dirname "$0")" && pwd)
export E2E_STALL=60
. "$here/suite.bash"
e2e_start

unknown='We are deeply sorry, but the application encountered a problem.\nTry redoing the installation.\nIf the problem persist, contact technical support.\nstd::bad_alloc'

# What runs leave in the temporary folder: packages and GUID work folders, one a line.
leftovers() { ls -A "$E2E_C/users/$E2E_USER/Temp" 2>/dev/null | grep -e '^{' -e '\.zip$' | tr '\n' ' '; }

# run_failing POINTS ARGS...: the program with the named allocation points armed.
run_failing() {
  local points=$1; shift
  export KLU_FAIL_ALLOCATION=$points
  run_program "$@"
  unset KLU_FAIL_ALLOCATION
}

# --- 1. The install button: the error box, then the folder page as it was; a second press installs.
reset_install
run_failing BInstallClick /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 click BInstall >/dev/null
check "BInstallClick: the error box" "std::bad_alloc" "$(ask box-text 20000)"
drive box-answer 1 5000 >/dev/null
check "BInstallClick: the folder page stays" "1" "$(ask visible PanelSelectFolder)"
drive click BInstall >/dev/null
check "BInstallClick: the second press installs" "$(printf 'wait-visible: yes\ntext: Installation Complete')" \
  "$(drive wait-visible PanelFinish 60000 text FLabelTop)"
drive click FBOk >/dev/null
check "BInstallClick: status" "0" "$(program_status 60)"

# --- 2. The window's side of the success report: the worker reports the unknown error instead.
reset_install
run_failing ShowFinish /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 click BInstall >/dev/null
out=$(drive wait-visible PanelFinish 60000 text FLabelTop text FLabelMessage)
shot nothrow-2-showfinish
check "ShowFinish: the run fails with S_UnknownError" \
  "$(printf 'wait-visible: yes\ntext: Installation Fail\ntext: %s' "$unknown")" "$out"
drive click FBOk >/dev/null
check "ShowFinish: status" "1" "$(program_status 60)"
check "ShowFinish: no shortcut, as after any failed run" "no" "$(exists "$E2E_PROGRAMS/Veltrona/Pluvion.lnk")"

# --- 3. The close question during a stalled download: the error box, the run goes on; the second
# close asks, and Yes ends the program with status 1.
reset_install
run_failing FormCloseQuery /URL "$E2E_URL/stall/pluvionfull.zip"
drive wait-window 30000 click BInstall >/dev/null
ask wait-text LabelPending Downloading 30000 >/dev/null
drive close >/dev/null
check "FormCloseQuery: the error box" "std::bad_alloc" "$(ask box-text 20000)"
drive box-answer 1 5000 >/dev/null
check "FormCloseQuery: the window stays" "1" "$(ask visible LabelPending)"
drive close >/dev/null
check "FormCloseQuery: the second close asks" "Are you sure you want to abort the installation process?" \
  "$(ask box-answer 6 20000)"
check "FormCloseQuery: status" "1" "$(program_status 60)"
check "FormCloseQuery: the stalled package went with the process" "" "$(leftovers)"

# --- 4. A hidden run whose success report fails: the failure box, status 1, nothing left behind.
reset_install
run_failing ShowFinish /HIDE /URL "$E2E_URL/pkg/pluvionfull.zip"
box=$(ask box-text 60000)
check "hidden ShowFinish: the failure box" "$unknown" "$box"
drive box-answer 1 5000 >/dev/null
check "hidden ShowFinish: status" "1" "$(program_status 60)"
check "hidden ShowFinish: no package, no work folder" "" "$(leftovers)"

e2e_finish
