; Corvane setup: installs for the current user only, so it never asks for
; administrator rights. Built by make_release.py, which passes:
;   VERSION     the project version, four numbers (2.0.0.0)
;   MAIN_TITLE  the main window's title, by which a running copy is found
;   STAGE       the folder holding the stripped Corvane.exe
;   ICON        the program's icon, shown by setup and the uninstaller too
;   OUTFILE     where the setup program goes
;
; Switches: /S installs silently (with the log-on shortcut, as in the dialog).
; A running Corvane is asked to exit before its files are replaced or removed;
; when it does not, setup asks the user to close it (silently: it gives up).
; The uninstaller keeps the settings unless told otherwise: it asks, and when
; silent (/S) it keeps them unless /REMOVESETTINGS is given.

!ifndef VERSION | MAIN_TITLE | STAGE | ICON | OUTFILE
  !error "make_release.py passes VERSION, MAIN_TITLE, STAGE, ICON and OUTFILE"
!endif

Unicode true
SetCompressor /SOLID lzma
; The staged files carry the release date, so the setup's bytes do not depend
; on when the build ran.
SetDateSave on

!define PRODUCT "Corvane"
!define PUBLISHER "Orlimar"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
!define SHORTCUT_NAME "${PRODUCT}.lnk"
; How a running copy is found and asked to exit: its main window's title
; (MAIN_TITLE), the Exit command of its tray menu, and the mutex it holds
; while it runs.
!define EXIT_COMMAND 32772
!define RUNNING_MUTEX "Local\Orlimar.Corvane.Running"
!define SYNCHRONIZE 0x00100000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PRODUCT}.exe"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A running copy holds its exe open, and would go on running the old one.
; It is asked to exit the way its tray menu's Exit does, then given ten
; seconds to let go of its mutex (which it holds until the process ends).
!macro CLOSE_RUNNING_FUNCTION prefix
Function ${prefix}CloseRunningCorvane
  retry:
  FindWindow $R0 "#32770" "${MAIN_TITLE}"
  ${If} $R0 <> 0
    SendMessage $R0 ${WM_COMMAND} ${EXIT_COMMAND} 0 /TIMEOUT=5000
  ${EndIf}
  StrCpy $R1 0
  ${Do}
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p .R2'
    ${If} $R2 = 0
      Sleep 500  ; the process ends just after its mutex goes
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R2)'
    IntOp $R1 $R1 + 1
    ${IfThen} $R1 >= 40 ${|} ${ExitDo} ${|}
    Sleep 250
  ${Loop}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "${PRODUCT} is still running, perhaps waiting for an answer in one of its windows.$\r$\nClose it, then press Retry." \
    /SD IDCANCEL IDRETRY retry
  Abort "${PRODUCT} is still running."
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_FUNCTION ""
!insertmacro CLOSE_RUNNING_FUNCTION "un."

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetShellVarContext current
  Call CloseRunningCorvane
  SetOutPath "$INSTDIR"
  File "${STAGE}\${PRODUCT}.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${SHORTCUT_NAME}" "$INSTDIR\${PRODUCT}.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; A tray watcher is meant to run all the time, so this one starts ticked. At
; log-on it starts in the tray: the window on the desktop every morning would
; only be in the way.
Section "Start ${PRODUCT} when I log on" SecStartup
  SetShellVarContext current
  CreateShortcut "$SMSTARTUP\${SHORTCUT_NAME}" "$INSTDIR\${PRODUCT}.exe" "/tray"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.CloseRunningCorvane
  Delete "$SMSTARTUP\${SHORTCUT_NAME}"
  Delete "$SMPROGRAMS\${SHORTCUT_NAME}"
  Delete "$INSTDIR\${PRODUCT}.exe"
  ; Fails when run in place (_?=), where the caller removes it afterwards.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  Call un.RemoveSettingsIfAsked
SectionEnd

; The settings hold the mail account, which is tedious to type again after a
; reinstall, so keeping them is the answer that needs no thought.
Function un.RemoveSettingsIfAsked
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON1 \
      "Keep your ${PRODUCT} settings (mail account, address page, check interval) for a later install?" \
      /SD IDYES IDYES keep
  ${EndIf}
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  keep:
FunctionEnd
