; The per-user installer of Tarvik: no administrator rights, into the user's
; own programs folder, everything it writes under HKEY_CURRENT_USER.
;
;   makensis -DVERSION=5.0 -DVERSION_QUAD=5.0.0.0 -DARCH=win64 -DFILES=DIR
;            -DICON=app.ico -DOUTFILE=setup.exe [-DSIGN=COMMAND] tarvik.nsi
;
; FILES holds tarvik.exe, tarvikctl.exe, README.txt, LICENSE.txt and
; CHANGES.txt. SIGN, when given, is a command that signs the file named by
; its last argument in place; it signs the uninstaller before it is packed.
;
; Silent: /S installs ("Start with Windows" as before an upgrade, on for a
; first install; /AUTOSTART=0 or 1 decides); the uninstaller's /S keeps the
; settings unless /REMOVESETTINGS is given too.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh
!include Sections.nsh

!define PRODUCT "Tarvik"
!define PUBLISHER "Tarvik developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's own names: the Run value its Options dialog writes, the class
; and title of its main window, and its settings (all versions' keys).
!define RUN_VALUE "Tarvik"
!define WINDOW "Tarvik"
!define SETTINGS_KEY "Software\Orvanto Software\Tarvik"
!define SETTINGS_PARENT "Software\Orvanto Software"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tarvik"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"
VIAddVersionKey "LegalCopyright" "MIT licence, ${PUBLISHER}"

!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"'
!endif

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\tarvik.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Tarvik now"
!define MUI_WELCOMEPAGE_TEXT "This installs Tarvik ${VERSION} (${ARCH}) for you alone: no \
administrator rights are needed.$\r$\n$\r$\nTarvik keeps CD, DVD and Blu-ray drives quiet by \
limiting their read speed. It lives in the notification area.$\r$\n$\r$\nA running Tarvik is \
closed during the installation and started again afterwards; your settings are kept."

!insertmacro MUI_PAGE_WELCOME
; The MIT licence asks nothing of the person installing: the page informs,
; with Next, and accepts no "I Agree".
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "Tarvik is free software under the MIT licence."
!define MUI_LICENSEPAGE_TEXT_TOP "Tarvik's licence, for your information:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "You may use, copy and share Tarvik freely; nothing here needs \
your consent. The licence is also installed beside Tarvik, as LICENSE.txt."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${FILES}/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Tarvik's files, its Start-menu shortcut and its start \
with Windows are removed. Tick the box below to remove your settings (drive speeds, options) \
as well; left unticked, they stay for a later install."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var WasRunning

; Closes a running Tarvik as its own /restart does: WM_CLOSE to its main
; window, which saves, takes its icon away and ends the program. Then waits
; until the old exe can be replaced or removed.
!macro CLOSE_TARVIK un
Function ${un}CloseTarvik
  FindWindow $0 "${WINDOW}" "${WINDOW}"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $WasRunning 1
  DetailPrint "Closing the running Tarvik"
  retry:
  FindWindow $0 "${WINDOW}" "${WINDOW}"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
  ${EndIf}
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${WINDOW}" "${WINDOW}"
    ${If} $0 = 0
    ${AndIf} ${FileExists} "$INSTDIR\tarvik.exe"
      ; The process may still hold its exe for a moment after its window is gone.
      ClearErrors
      FileOpen $2 "$INSTDIR\tarvik.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        Return
      ${EndIf}
    ${ElseIf} $0 = 0
      Return
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 100
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tarvik is still running. Close it (Exit in its \
menu) and choose Retry." /SD IDCANCEL IDRETRY retry
  Abort "Tarvik is still running."
FunctionEnd
!macroend
!insertmacro CLOSE_TARVIK ""
!insertmacro CLOSE_TARVIK "un."

; $0: the Run value, $1 set to 1 when it starts the installed tarvik.exe, in
; quotes as the program writes it or bare as older versions did.
!macro RUN_VALUE_IS_OURS un
Function ${un}RunValueIsOurs
  StrCpy $1 0
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrLen $2 '"$INSTDIR\tarvik.exe"'
  StrCpy $3 $0 $2
  ${If} $3 == '"$INSTDIR\tarvik.exe"'
    StrCpy $1 1
  ${EndIf}
  StrLen $2 "$INSTDIR\tarvik.exe"
  StrCpy $3 $0 $2
  ${If} $3 == "$INSTDIR\tarvik.exe"
    StrCpy $1 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RUN_VALUE_IS_OURS ""
!insertmacro RUN_VALUE_IS_OURS "un."

Section "Tarvik" SecProgram
  SectionIn RO
  Call CloseTarvik
  SetOutPath "$INSTDIR"
  File "${FILES}/tarvik.exe"
  File "${FILES}/tarvikctl.exe"
  File "${FILES}/README.txt"
  File "${FILES}/LICENSE.txt"
  File "${FILES}/CHANGES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Tarvik.lnk" "$INSTDIR\tarvik.exe" "" "$INSTDIR\tarvik.exe" 0 \
    SW_SHOWNORMAL "" "Keeps optical drives quiet"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\tarvik.exe",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start with Windows" SecAutostart
  ; The value the Options dialog's "Start automatically" writes; one it wrote
  ; for this exe with an argument (/hide, /exit) stays as it is.
  Call RunValueIsOurs
  ${If} $1 = 0
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tarvik.exe"'
  ${EndIf}
SectionEnd

Function .onInit
  StrCpy $WasRunning 0
  !if "${ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit Tarvik, and this Windows is 32-bit. \
Use tarvik-${VERSION}-win32-setup.exe." /SD IDOK
      Abort
    ${EndIf}
  !endif
  ; An upgrade keeps the start with Windows as it was.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    Call RunValueIsOurs
    ${If} $1 = 0
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $1
  ${IfNot} ${Errors}
    ${If} $1 == 0
      !insertmacro UnselectSection ${SecAutostart}
    ${Else}
      !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ; Unticked on an upgrade: the start with Windows goes.
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    Call RunValueIsOurs
    ${If} $1 = 1
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
  ; Silent: the finish page's "Start Tarvik now" is not there, so the one
  ; that was running is started again.
  ${If} ${Silent}
  ${AndIf} $WasRunning = 1
    Exec '"$INSTDIR\tarvik.exe"'
  ${EndIf}
FunctionEnd

Section "un.Tarvik" SecUnProgram
  SectionIn RO
  Call un.CloseTarvik
  Delete "$INSTDIR\tarvik.exe"
  Delete "$INSTDIR\tarvikctl.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\CHANGES.txt"
  ; Its diagnostic logs, when it was started with /log from the shortcut.
  Delete "$INSTDIR\tarvik*.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tarvik.lnk"
  ; Only a start entry of this installation: another copy's stays.
  Call un.RunValueIsOurs
  ${If} $1 = 1
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Remove my settings (drive speeds, options)" SecUnSettings
  ; As the program's own "Reset configuration": every version's key, and the
  ; parent when nothing else is left in it.
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT}"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd
