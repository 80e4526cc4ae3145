#!/usr/bin/env bash
# The download watch: a package whose transfer stops after its headers and ten bytes, and in a
# hidden run one that stops right after its headers. The watch (one tick a minute from the
# window's creation) fails each with S_DownloadError within two ticks.
here=$(cd "$(dirname "$0")" && pwd)
export E2E_STALL=300
. "$here/suite.bash"
e2e_start

reset_install
run_program /URL "$E2E_URL/stall/pluvionfull.zip"
drive wait-window 30000 click BInstall >/dev/null
check "the download step runs" "Downloading" "$(ask wait-text LabelPending Downloading 30000)"
shot stall-0-progress-page
# The close question while the worker runs: No lets it go on where it was.
drive close >/dev/null
check "close question during the download" "Are you sure you want to abort the installation process?" \
  "$(ask box-answer 7 20000)"
check "No keeps the progress page" "visible: 1" "$(drive visible PanelSetup)"
out=$(drive wait-visible PanelFinish 130000 text FLabelTop text FLabelMessage visible CBCreateDesktop)
shot stall-1-result-page
echo "$out" | sed 's/^/    /'
expected=$(printf '%s\n' "wait-visible: yes" "text: Installation Fail" \
  "text: Unable to download installation file from the server!\\nTry redoing the installation.\\nIf the problem persist, contact technical support." \
  "visible: 0")
check "the watch fails the stalled download" "$expected" "$out"
drive click FBOk >/dev/null
check "status after a stalled download" "1" "$(program_status 60)"
check "nothing installed" "no" "$(exists "$E2E_C/Program Files/Veltrona/Pluvion/a.txt")"
check "the stalled package went with the process" "no" "$(exists "$E2E_C/users/$E2E_USER/Temp/pluvionfull.zip")"

# A hidden run: the watch fails a download that stalls right after its head; the failure box
# (answered here) is all it shows, the run ends with status 1 and leaves no package.
reset_install
run_program /HIDE /URL "$E2E_URL/stall0/pluvionfull.zip"
box=$(ask box-answer 1 110000)  # the first tick comes a minute after the window
check_has "the hidden run's failure box" "Unable to download installation file from the server!" "$box"
check "status of a hidden run whose download stalls after its head" "1" "$(program_status 60)"
check "nothing installed by the hidden run" "no" "$(exists "$E2E_C/Program Files/Veltrona/Pluvion/a.txt")"
check "the hidden run's stalled package went with the process" "no" \
  "$(exists "$E2E_C/users/$E2E_USER/Temp/pluvionfull.zip")"

e2e_finish
