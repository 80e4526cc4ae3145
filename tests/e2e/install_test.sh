#!/usr/bin/env bash
# The install as a person does it: the folder page, Install, the result page, OK; a failed
# download; the close question; a hidden start; a folder that cannot be created; Enter.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
e2e_start

# The message boxes' buttons.
OK=1 YES=6 NO=7

desktop_link=$E2E_C/users/$E2E_USER/Desktop/Pluvion.lnk
menu=$E2E_PROGRAMS/Veltrona

# --- 1. The folder page, Install, the result page, OK with the desktop box ticked.
reset_install
run_program /URL "$E2E_URL/pkg/pluvionfull.zip"
out=$(drive wait-window 30000 caption text SFLabelTop text SFLabelFolder text BChangeFolder text BInstall \
      text EFolder visible PanelSelectFolder visible PanelSetup visible PanelFinish visible PanelUninstall \
      visible CBCreateDesktop visible SFImageVLT visible SFImageBRS text LabelPending)
shot install-1-folder-page
echo "$out" | sed 's/^/    /'
check "folder page shows" "wait-window: yes" "$(echo "$out" | sed -n 1p)"
check "caption" "caption: Pluvion installer" "$(echo "$out" | sed -n 2p)"
# The texts of the folder page, from the language table, and the proposed folder.
expected_folder_page=$(printf '%s\n' \
  "text: Select the installation folder" \
  "text: Folder" \
  "text: Change" \
  "text: Install" \
  "text: C:\\Program Files\\Veltrona\\Pluvion" \
  "visible: 1" "visible: 0" "visible: 0" "visible: 0" "visible: 0" "visible: 1" "visible: 0" "text: ")
check "folder page texts, proposed folder, only the folder page visible" "$expected_folder_page" \
  "$(echo "$out" | sed -n '3,15p')"

drive click BInstall >/dev/null
out=$(drive wait-visible PanelFinish 60000 text FLabelTop text FLabelMessage visible CBCreateDesktop \
      checked CBCreateDesktop visible CBRestart visible PanelSetup text LabelTop progress PBOverall)
shot install-2-result-page
echo "$out" | sed 's/^/    /'
expected_result=$(printf '%s\n' "wait-visible: yes" "text: Installation Complete" \
  "text: The application was installed successfully!" "visible: 1" "checked: 1" "visible: 0" "visible: 0" \
  "text: Installation Complete" "progress: 5/5")
check "result page after success" "$expected_result" "$out"
app="$E2E_C/Program Files/Veltrona/Pluvion"
check "files placed" "yes yes yes" "$(exists "$app/a.txt" "$app/sub/b.dll" "$app/data/deep/weather.dat")"
check "no shortcut before OK" "no" "$([ -e "$menu/Pluvion.lnk" ] && echo yes || echo no)"
# Enter on the check box presses the result page's default button, OK.
drive enter CBCreateDesktop >/dev/null
check "exit status after OK" "0" "$(program_status 60)"
check "shortcuts: menu, desktop, uninstall" "yes yes yes" \
  "$(exists "$menu/Pluvion.lnk" "$desktop_link" "$menu/Uninstall Pluvion.lnk")"
check "Run value" "\"C:\\Program Files\\Veltrona\\Pluvion\\Pluvion.exe\"" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Pluvion)"
check_has "uninstall entry" "/uninstall HKEY_CURRENT_USER" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion' UninstallString)"

# --- 2. The desktop box cleared: no desktop shortcut; the result page closed by its close box.
reset_install
run_program /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 set-check CBCreateDesktop 0 close >/dev/null
check "exit status after the close box on the result page" "0" "$(program_status 60)"
check "menu shortcut without desktop shortcut" "yes no" "$([ -f "$menu/Pluvion.lnk" ] && echo yes || echo no) \
$([ -f "$desktop_link" ] && echo yes || echo no)"

# --- 3. A package that is not there: S_Fail, the status line, no shortcuts, status 1.
reset_install
run_program /URL "$E2E_URL/missing/pluvionfull.zip"
out=$(drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 text FLabelTop text FLabelMessage \
      visible CBCreateDesktop)
shot install-3-download-failed
echo "$out" | sed 's/^/    /'
check "failure heading" "text: Installation Fail" "$(echo "$out" | sed -n 4p)"
check_has "failure message names the status line" "404 Not Found" "$(echo "$out" | sed -n 5p)"
check "no desktop box after a failure" "visible: 0" "$(echo "$out" | sed -n 6p)"
drive click FBOk >/dev/null
check "exit status after a failed download" "1" "$(program_status 60)"
check "no shortcut after a failure" "no" "$([ -e "$menu/Pluvion.lnk" ] && echo yes || echo no)"

# --- 4. The close question at the folder page: No keeps the page, Yes ends with status 1.
reset_install
run_program /URL "$E2E_URL/pkg/pluvionfull.zip"
drive wait-window 30000 set-text EFolder 'C:\e2e\typed' close >/dev/null
question=$(ask box-answer $NO 20000)
shot install-4-close-question
check "close question" "Are you sure you want to abort the installation process?" "$question"
out=$(drive visible PanelSelectFolder text EFolder)
check "No leaves the folder page as it was" "$(printf 'visible: 1\ntext: C:\\e2e\\typed')" "$out"
drive close >/dev/null
ask box-answer $YES 20000 >/dev/null
check "Yes ends with status 1" "1" "$(program_status 60)"
check "nothing installed after Yes" "no no" "$([ -e "$E2E_C/e2e/typed" ] && echo yes || echo no) \
$([ -e "$E2E_C/Program Files/Veltrona" ] && echo yes || echo no)"

# --- 4b. The folder browser: cancelled, it leaves the folder text as it was.
reset_install
run_program /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 set-text EFolder 'C:\e2e\kept' click BChangeFolder >/dev/null
browser=$(drive box-text 20000)
shot install-4b-folder-browser
check "the folder browser opens" "box-text: " "$(echo "$browser" | cut -c1-10)"
drive box-answer 2 20000 >/dev/null
check "a cancelled browser keeps the folder text" "C:\e2e\kept" "$(ask text EFolder)"
drive close >/dev/null; drive box-answer $YES 20000 >/dev/null
check "status after quitting from the folder page" "1" "$(program_status 60)"

# --- 5. A typed folder with trailing backslashes; Enter on the edit presses Install.
reset_install
run_program /URL "$E2E_URL/pkg/nobatch.zip"
drive wait-window 30000 set-text EFolder 'C:\e2e\Apps\Sky\\' enter EFolder >/dev/null
ask wait-visible PanelFinish 60000 >/dev/null
check "Enter installs into the typed folder without its backslashes" "yes" \
  "$([ -f "$E2E_C/e2e/Apps/Sky/a.txt" ] && echo yes || echo no)"
drive click FBOk >/dev/null
check "status after install into the typed folder" "0" "$(program_status 60)"
check_has "uninstall command holds the typed folder" '"C:\e2e\Apps\Sky\KestrumLiveUpdate.exe"' \
  "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion' UninstallString)"

# --- 6. Folders that cannot be created: a warning, the folder page stays; an empty text too.
reset_install
mkdir -p "$E2E_C/e2e"; echo file >"$E2E_C/e2e/plainfile"
run_program /URL "$E2E_URL/pkg/nobatch.zip"
warnings=""
for folder in 'C:\e2e\plainfile\sub' '' '\\\'; do
  drive wait-window 30000 set-text EFolder "$folder" click BInstall >/dev/null
  warnings+="$(ask box-answer $OK 20000);"
done
shot install-6-folder-page-after-warnings
check "S_UnableCreateFolder for each bad folder" \
  "Unable to create the specified folder!;Unable to create the specified folder!;Unable to create the specified folder!;" "$warnings"
check "the folder page stays" "visible: 1" "$(drive visible PanelSelectFolder)"
drive close >/dev/null; ask box-answer $YES 20000 >/dev/null
check "status after quitting" "1" "$(program_status 60)"

# --- 7. A hidden start installs into the proposed folder and ends by itself with status 0.
reset_install
run_program /hide /URL "$E2E_URL/pkg/nobatch.zip"
check "hidden run status" "0" "$(program_status 90)"
check "hidden run installed, with the desktop shortcut" "yes yes" \
  "$([ -f "$E2E_C/Program Files/Veltrona/Pluvion/a.txt" ] && echo yes || echo no) \
$([ -f "$desktop_link" ] && echo yes || echo no)"

# --- 8. A hidden start whose download fails: its failure box, then status 1.
reset_install
run_program /HIDE /URL "$E2E_URL/missing/pluvionfull.zip"
box=$(ask box-answer $OK 60000)
check_has "hidden failure box" "Unable to download installation file from the server!" "$box"
check "hidden failed run status" "1" "$(program_status 60)"

# --- 9. An install shows English whatever "/language" says: "french" keeps the Veltrona picture,
# and "PORTUGUESE" (whose install texts are empty) still shows every text of the folder page.
reset_install
run_program /URL "$E2E_URL/pkg/nobatch.zip" /language french
out=$(drive wait-window 30000 text BInstall visible SFImageVLT visible SFImageBRS)
shot install-9-french-folder-page
check "/language french: the English folder page with the Veltrona picture" \
  "$(printf 'wait-window: yes\ntext: Install\nvisible: 1\nvisible: 0')" "$out"
drive close >/dev/null; drive box-answer $YES 20000 >/dev/null
check "status after quitting the French run" "1" "$(program_status 60)"
run_program /URL "$E2E_URL/pkg/nobatch.zip" /language PORTUGUESE
out=$(drive wait-window 30000 text SFLabelTop text SFLabelFolder text BChangeFolder text BInstall)
check "/language PORTUGUESE: the English folder page" \
  "$(printf 'wait-window: yes\ntext: Select the installation folder\ntext: Folder\ntext: Change\ntext: Install')" "$out"
drive close >/dev/null; drive box-answer $YES 20000 >/dev/null
check "status after quitting the Portuguese run" "1" "$(program_status 60)"

e2e_finish
