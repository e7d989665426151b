; The labbench installer for Windows, made with makensis (Debian's nsis) by
; package.sh, which defines VERSION, FOLDER (the program folder of the zip),
; FILES (the list of its files as install and uninstall lines) and OUTFILE.
;
; Installs into Program Files, for every user of the computer: the Start-menu
; entry is in all users' Start menu and starts labbench in the user's own
; %APPDATA% (expanded when it starts), from where the program works in
; %APPDATA%\labbench, made at its first start, where settings.txt lives
; (Program Files is not writable for the user, and the installer, run by an
; administrator, cannot make the folder for users who have not logged on
; yet). The uninstaller removes the program and its entry and leaves
; settings.txt. /S installs (and uninstalls) silently.
; A 64-bit installer for a 64-bit program: it refuses to start on 32-bit Windows.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

Name "labbench ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\labbench"
InstallDirRegKey HKLM "Software\labbench" "InstallDir"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\labbench"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!include "${FILES}"

Section "labbench"

  SetOutPath "$INSTDIR"
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is $OUTDIR, here the variable itself, which
  ; the shell expands for the user who starts it; a folder that does not
  ; exist would make the shell start the program elsewhere.
  SetShellVarContext all
  StrCpy $OUTDIR "%APPDATA%"
  CreateShortCut "$SMPROGRAMS\labbench.lnk" "$INSTDIR\labbench-win.exe" "" \
    "$INSTDIR\labbench-win.exe" 0 SW_SHOWNORMAL "" \
    "Oscilloscope, generator and spectrum analyzer on the ZOR"

  WriteRegStr HKLM "Software\labbench" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "labbench"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "labbench"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\labbench-win.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"

  ; Only the files this installer put there: a folder chosen by the user may
  ; hold others. settings.txt stays in %APPDATA%\labbench.
  !insertmacro UninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\labbench.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\labbench"
SectionEnd
