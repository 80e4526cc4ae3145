; The installation benchmark's peer: the installer a publisher would build instead of the live
; update, carrying the same files inside itself. Built at bench time by bench/install/run.sh:
;   makensis -DTREE=FOLDER -DOUT=FILE.exe peer.nsi
; Run silently (/S); it installs where KestrumLiveUpdate installs, writes an uninstall entry and a
; Programs menu shortcut, as the installer does at its close.
!ifndef TREE
  !error "TREE (the package's files) is not defined"
!endif
!ifndef OUT
  !error "OUT (the installer to write) is not defined"
!endif

Unicode true
; The installer's own machine: x86-unicode by default; amd64-unicode where the installer under test
; was built for x86_64 (a host that runs no 32-bit code).
!ifdef TARGET
  Target ${TARGET}
!endif
Name "Pluvion"
OutFile "${OUT}"
; Each file deflated on its own, as in the ZIP package: no solid block.
SetCompressor zlib
RequestExecutionLevel user
InstallDir "$PROGRAMFILES\Veltrona\Pluvion"
ShowInstDetails nevershow
AutoCloseWindow true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PluvionPeer"

Section "Pluvion"
  SetOutPath "$INSTDIR"
  File /r "${TREE}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Pluvion"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\Veltrona"
  CreateShortcut "$SMPROGRAMS\Veltrona\Pluvion.lnk" "$INSTDIR\Pluvion.exe"
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Veltrona\Pluvion.lnk"
  RMDir "$SMPROGRAMS\Veltrona"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir /r "$INSTDIR"
SectionEnd
