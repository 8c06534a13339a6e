; The per-user installer of rtupoll for 64-bit Windows, built with NSIS by
; scripts/windows-release.sh:
;
;   makensis -DVERSION=0.1.0 -DFOLDER=<the portable folder> -DFILES=<files.nsh>
;            -DUNFILES=<unfiles.nsh> -DICON=<rtupoll.ico> -DOUTFILE=<setup.exe> rtupoll.nsi
;
; FOLDER is the portable folder the ZIP holds; FILES and UNFILES list its
; files for the installer and the uninstaller, one command a line.
;
; It installs the portable folder into %LOCALAPPDATA%\Programs\rtupoll, for
; the user who runs it and without administrator rights: the program keeps
; setting.ini and data.csv beside itself, and under Program Files a user may
; not write them. The uninstaller removes the files it installed and keeps
; setting.ini and data.csv, the operator's set-up and data, with the folder
; that holds them. Both run silently with /S.

Unicode true
; A 64-bit installer: 64-bit Windows runs it as it runs the program, and so
; does a Wine without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\rtupoll"

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

Function .onInit
  ; The user's own Start menu and application data, never all users'.
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "rtupoll"
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
SectionEnd

Section "Uninstall"
  ; File by file, so that setting.ini and data.csv stay; RMDir removes a
  ; folder only when it is empty.
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\rtupoll.lnk"
  DeleteRegKey HKCU "${KEY}"
SectionEnd
