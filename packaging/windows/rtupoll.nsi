; The per-user installer of rtupoll for 64-bit Windows, built with NSIS by
; scripts/windows-release.sh:
;
;   makensis -DVERSION=0.1.0 -DFOLDER=<the portable folder> -DFILES=<files.nsh>
;            -DUNFILES=<unfiles.nsh> -DSIZE_KB=<its size> -DICON=<rtupoll.ico>
;            -DOUTFILE=<setup.exe> rtupoll.nsi
;
; FOLDER is the portable folder the ZIP holds; FILES and UNFILES list its
; files for the installer and the uninstaller, one command a line; SIZE_KB
; is its size in KiB, which Apps and Features shows.
;
; It installs the portable folder into %LOCALAPPDATA%\Programs\rtupoll, for
; the user who runs it and without administrator rights: the program keeps
; setting.ini and data.csv beside itself, and under Program Files a user may
; not write them. The uninstaller removes the files it installed and keeps
; setting.ini and data.csv, the operator's set-up and data, with the folder
; that holds them. Both run silently with /S.
;
; Neither changes a file while rtupoll runs from the folder: they ask for
; it to be closed and close it as its close button does (WM_CLOSE, which
; saves setting.ini). Silently they close it so and go on, and a silent
; upgrade starts the new rtupoll again. If it does not end, or the user
; keeps it running, they exit with EXIT_RUNNING and leave the installation
; and its entry as they were.

Unicode true
; A 64-bit installer: 64-bit Windows runs it as it runs the program, and so
; does a Wine without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\rtupoll"
; The running program holds this file open, without delete sharing; a run
; that was killed leaves it behind, and then it can be deleted. So rtupoll
; runs from $INSTDIR exactly when the file is there and cannot be deleted.
!define LOCK "$INSTDIR\rtupoll.lock"
; How long a closed rtupoll has to save setting.ini and end.
!define CLOSE_WITHIN_MS 30000
; The exit code when rtupoll kept running and nothing was changed.
!define EXIT_RUNNING 2

Name "rtupoll ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\rtupoll"
InstallDirRegKey HKCU "${KEY}" "InstallLocation"
BrandingText "rtupoll ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "rtupoll"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "rtupoll ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "the rtupoll developers, MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\rtupoll.exe"
!insertmacro MUI_PAGE_LICENSE "${FOLDER}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define RUNNING_TEXT "rtupoll is running from $INSTDIR.$\r$\n$\r$\nOK closes it as its close button does, saving its set-up, and goes on. Cancel leaves it running and changes nothing."

; 1 once this installer closed a running rtupoll.
Var closed

; Finds an rtupoll running from $INSTDIR and, when the user agrees (always
; when silent), closes it as its close button does and waits for its end;
; quits with EXIT_RUNNING, having changed nothing, where it keeps running.
!macro CLOSE_RUNNING un
Function ${un}CloseRunning
  StrCpy $closed 0
  Delete "${LOCK}"
  ${IfNot} ${FileExists} "${LOCK}"
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "${RUNNING_TEXT}" /SD IDOK IDOK close
  SetErrorLevel ${EXIT_RUNNING}
  Quit
close:
  ; Its window is captioned Form1; it is told from another program's, and
  ; from an rtupoll of another folder, by the file its process runs.
  StrCpy $R0 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p R0, p 0, w "Form1") p .R0'
    ${If} $R0 P= 0
      ${ExitDo}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p .R2'
    ${If} $R2 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
      ${If} $R3 == "$INSTDIR\rtupoll.exe"
        System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
        System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WITHIN_MS})'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
  ${Loop}
  Delete "${LOCK}"
  ${If} ${FileExists} "${LOCK}"
    MessageBox MB_OK|MB_ICONSTOP "rtupoll, running from $INSTDIR, did not close. Nothing was changed." /SD IDOK
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
  StrCpy $closed 1
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Function .onInit
  ; The user's own Start menu and application data, never all users'.
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "rtupoll"
  Call CloseRunning
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcut starts the program in its own folder.
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\rtupoll.lnk" "$INSTDIR\rtupoll.exe" "" "$INSTDIR\rtupoll.exe" 0 \
    SW_SHOWNORMAL "" "Modbus TCP poller for RTU field devices"
  ; Apps and Features lists it for this user.
  WriteRegStr HKCU "${KEY}" "DisplayName" "rtupoll"
  WriteRegStr HKCU "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${KEY}" "Publisher" "the rtupoll developers"
  WriteRegStr HKCU "${KEY}" "DisplayIcon" "$INSTDIR\rtupoll.exe"
  WriteRegStr HKCU "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${KEY}" "EstimatedSize" ${SIZE_KB}
  ; A silent upgrade puts back the rtupoll it closed, which takes up its
  ; saved devices again; interactively the finish page offers to start it.
  ${If} $closed = 1
  ${AndIf} ${Silent}
    Exec '"$INSTDIR\rtupoll.exe"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.CloseRunning
  ; File by file, so that setting.ini and data.csv stay; RMDir removes a
  ; folder only when it is empty.
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\rtupoll.lnk"
  DeleteRegKey HKCU "${KEY}"
SectionEnd
