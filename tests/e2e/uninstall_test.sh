#!/usr/bin/env bash
# The uninstall with the real program: an install of the demo package (it carries the installer),
# then the command that the install registered, started as Windows would start it: the uninstall
# page, Enter pressing BCancel, BUninstall, the result page, OK; the silent form; the restart box.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
e2e_start
[ -f "$E2E_BUILD/Pluvion.exe" ] || { echo "missing $E2E_BUILD/Pluvion.exe" >&2; exit 1; }

NO=7

# The demo package, served by the demo's server.
python3 "$E2E_ROOT/demo/make_package.py" "$E2E_WORK/www/pluvion/pluvionfull.zip" "$E2E_BUILD" >/dev/null || exit 1
klu_start_server "$E2E_WORK/demo-port" 1200 "$E2E_ROOT/demo/serve.py" --dir "$E2E_WORK/www" 2>/dev/null
E2E_PIDS+=("$KLU_SERVER_PID")
package=http://127.0.0.1:$(cat "$E2E_WORK/demo-port")/pluvion/pluvionfull.zip

app=$E2E_C/Program\ Files/Veltrona/Pluvion
menu=$E2E_PROGRAMS/Veltrona
desktop_link=$E2E_C/users/$E2E_USER/Desktop/Pluvion.lnk
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion'
runonce='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'

install_hidden() {
  reset_install
  wine reg delete "$runonce" /f >/dev/null 2>&1
  run_program /HIDE /URL "$package"
  check "$1: hidden install" "0" "$(program_status 120)"
  # The application that the install started holds its own program file: end it.
  for _ in $(seq 50); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
  check "$1: the application started without arguments" "started" "$(tr -d '\r' <"$app/started.txt" 2>/dev/null | awk '{print $1, $3}' | sed 's/ *$//')"
  wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1
  sleep 1
}

# Starts a registered command line ("PROGRAM" ARGS) as Windows would, in the background.
run_registered() {
  local line=$1 program args
  program=${line#\"}; program=${program%%\"*}
  args=${line#\"*\" }
  rm -f "$E2E_WORK/status"
  # shellcheck disable=SC2086  # the registered arguments hold no blanks
  ( timeout 300 wine "$program" $args >/dev/null 2>&1; echo $? >"$E2E_WORK/status" ) &
  E2E_PIDS+=($!)
}

# The files of the package: what the install recorded. (Files that LiveUpdate.bat makes are not
# recorded, so they stay.)
packaged=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' \
  "$E2E_WORK/www/pluvion/pluvionfull.zip")

# What is left of the install, apart from files scheduled for deletion at the next start.
leftovers() {
  local scheduled f left=()
  scheduled=$(wine reg query "$runonce" 2>/dev/null | tr -d '\r')
  while IFS= read -r f; do
    local win="C:\\Program Files\\Veltrona\\Pluvion\\${f//\//\\}"
    [[ "$scheduled" == *"CMD.EXE /C DEL \"$win\""* ]] || left+=("$f")
  done < <(cd "$app" 2>/dev/null && for f in $packaged; do [ -e "$f" ] && echo "$f"; done)
  [ -e "$menu" ] && left+=("menu folder")
  [ -e "$desktop_link" ] && left+=("desktop shortcut")
  wine reg query 'HKCU\Software\Kestrum\Pluvion' >/dev/null 2>&1 && left+=("application key")
  wine reg query "$entry" >/dev/null 2>&1 && left+=("uninstall entry")
  [ -n "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Pluvion)" ] && left+=("Run value")
  echo "${left[*]}"
}

# --- 1. The registered uninstall command, worked through its page.
install_hidden "page"
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Other /d keep.exe /f >/dev/null 2>&1
command=$(reg_value "$entry" UninstallString)
check_has "registered uninstall command" '\KestrumLiveUpdate.exe" /language ENGLISH /uninstall HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run\Pluvion,HKEY_CURRENT_USER\Software\Kestrum\Pluvion' "$command"
run_registered "$command"
out=$(drive wait-window 30000 caption visible PanelUninstall visible PanelSelectFolder text UninstallLabelTop \
      text LabelUninstallAreYouSure text LabelUninstall text LabelUninstallClickhere text LabelUninstallContinue \
      text BUninstall text BCancel visible PUVLTImage visible PUBRSImage)
shot uninstall-1-page
echo "$out" | sed 's/^/    /'
expected=$(printf '%s\n' "wait-window: yes" "caption: Veltrona Live Update" "visible: 1" "visible: 0" \
  "text: UNINSTALL PROCESS FOR THE PLUVION" "text: Are you sure you want to uninstall the Pluvion?" \
  "text: The application will be uninstalled." "text: click here to send us your suggestions" \
  "text: Continue to uninstall?" "text: Yes, remove the Pluvion" "text: No, keep the Pluvion" \
  "visible: 1" "visible: 0")
check "uninstall page texts" "$expected" "$out"
check_has "feedback text" "We are always trying to improve!" "$(ask text LabelUninstallFeedback)"
# Enter on a control that is not a button presses BCancel, which asks the abort question.
drive enter LabelUninstall >/dev/null
check "Enter presses BCancel: the close question" "Are you sure you want to abort the process?" \
  "$(ask box-answer $NO 20000)"
check "No keeps the uninstall page" "visible: 1" "$(drive visible PanelUninstall)"
# The feedback link: the registered browser (a copy of the stand-in application, which records
# its arguments) gets the address as its only parameter: the "feedback" value, else the brand's
# home page.
mkdir -p "$E2E_C/e2e/browser"; cp "$E2E_BUILD/Pluvion.exe" "$E2E_C/e2e/browser/browser.exe"
wine reg add 'HKCR\http\shell\open\command' /ve /d '"C:\e2e\browser\browser.exe" -nohome "%1"' /f >/dev/null 2>&1
drive click LabelUninstallClickhere >/dev/null
for _ in $(seq 100); do [ -s "$E2E_C/e2e/browser/started.txt" ] && break; sleep 0.1; done
wine reg add 'HKCU\Software\Kestrum\Pluvion' /v feedback /d 'http://127.0.0.1:9/feedback?from=pluvion' /f >/dev/null 2>&1
drive click LabelUninstallClickhere >/dev/null
for _ in $(seq 100); do [ "$(wc -l <"$E2E_C/e2e/browser/started.txt")" -ge 2 ] && break; sleep 0.1; done
check "the link opens the brand home page, then the feedback address" \
  "http://www.veltrona.example/|http://127.0.0.1:9/feedback?from=pluvion|" \
  "$(tr -d '\r' <"$E2E_C/e2e/browser/started.txt" | cut -d' ' -f3- | tr '\n' '|')"
wine taskkill /F /IM browser.exe >/dev/null 2>&1

drive click BUninstall >/dev/null
out=$(drive wait-visible PanelFinish 60000 text FLabelTop text FLabelMessage visible CBRestart checked CBRestart \
      text CBRestart visible CBCreateDesktop)
shot uninstall-2-result-page
echo "$out" | sed 's/^/    /'
expected=$(printf '%s\n' "wait-visible: yes" "text: Uninstall completed" \
  "text: You should restart your computer to complete the uninstall." "visible: 1" "checked: 0" \
  "text: Restart computer" "visible: 0")
check "uninstall result page" "$expected" "$out"
drive click FBOk >/dev/null
check "uninstall status" "0" "$(program_status 60)"
check "nothing left but what was scheduled" "" "$(leftovers)"
check "the Run key keeps its other values" "keep.exe" "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Other)"
e2e_log "scheduled: $(wine reg query "$runonce" 2>/dev/null | tr -d '\r' | grep KestrumLU | tr -s ' ')"

# --- 2. The silent form: the registered quiet command ends by itself.
install_hidden "quiet"
command=$(reg_value "$entry" QuietUninstallString)
check_has "quiet command ends in /HIDE" "/HIDE" "$command"
run_registered "$command"
check "quiet uninstall status" "0" "$(program_status 120)"
check "quiet: nothing left but what was scheduled" "" "$(leftovers)"

# --- 3. A finishing action that fails: its error is shown, the application is not started.
reset_install
run_program /URL "$package"
drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 >/dev/null
# A file where the brand's menu folder should go: the menu shortcut cannot be saved.
printf 'in the way' >"$menu"
drive click FBOk >/dev/null
error=$(ask box-answer 1 30000)
shot uninstall-3-shortcut-error
check "an error box after the failed shortcut" "yes" "$([ -n "$error" ] && [ "$error" != timeout ] && echo yes || echo "no: $error")"
check "status after the failed finishing action" "0" "$(program_status 60)"
check "the application was not started" "no" "$(exists "$app/started.txt")"
rm -f "$menu"

# --- 4. The silent update that the application starts: "/HIDE /KILL pid" ends the running
# application, replaces its files, starts it again and ends by itself.
install_hidden "update"
( timeout 200 wine "$app/Pluvion.exe" >/dev/null 2>&1 ) &
running=$!
E2E_PIDS+=($running)
for _ in $(seq 100); do [ "$(wc -l <"$app/started.txt")" -ge 2 ] && break; sleep 0.1; done
pid=$(tail -1 "$app/started.txt" | awk '{print $2}')
run_program /HIDE /KILL "$pid" /URL "$package"
check "silent update status" "0" "$(program_status 120)"
sleep 1
check "the running application was ended" "ended" "$(kill -0 "$running" 2>/dev/null && echo running || echo ended)"
check "the updated application was started again" "3" "$(wc -l <"$app/started.txt" | tr -d ' ')"
wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1

# --- 5. The restart box ticked. (Wine answers the restart request with success and restarts
# nothing on the host; it ends the prefix's own programs.)
boot=$(uptime -s)
install_hidden "restart"
run_registered "$(reg_value "$entry" UninstallString)"
drive wait-window 30000 click BUninstall wait-visible PanelFinish 60000 set-check CBRestart 1 click FBOk >/dev/null
check "status with the restart box ticked" "0" "$(program_status 60)"
check "the host did not restart" "$boot" "$(uptime -s)"
# Wine's restart runs the RunOnce commands at once, while the uninstaller itself may still be
# running: its own program file may then stay, with its entry consumed.
check "restart: nothing left but the uninstaller itself" "" "$(leftovers | sed 's/^KestrumLiveUpdate.exe$//')"

e2e_finish
