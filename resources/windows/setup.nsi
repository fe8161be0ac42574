; Kestrion's setup program and its uninstaller, per user: no administrator, no UAC prompt.
; CPack runs makensis on its staged files (cmake/package_win.cmake) with
;   -DVERSION=0.1.0 -DSTAGE=<the zip's files> -DOUTFILE=<setup.exe> -DICON=<kestrion.ico>
;   -DPUBLISHER=... -DWEB=... and, when the programs are signed, -DSIGN=<command, %1 the file>.
; Switches besides NSIS's own /S and /D=: /AUTOSTART also puts the Startup shortcut in place.
; A 32-bit program itself, so that it runs on either Windows, it holds both widths of the
; programs and installs the 64-bit ones on 64-bit Windows, the 32-bit ones on 32-bit Windows,
; under the same names in the same folder: an install of one width over the other is an
; update like any other.

Unicode true
Target x86-unicode
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh

!define PROGRAM "kestrion.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrion"
!define CLSID_ShellLink "{00021401-0000-0000-C000-000000000046}"
!define IID_IShellLinkW "{000214F9-0000-0000-C000-000000000046}"
!define IID_IPersistFile "{0000010B-0000-0000-C000-000000000046}"

Name "Kestrion"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kestrion"
; An update goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Kestrion ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Kestrion"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Kestrion setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© 2026 ${PUBLISHER}. MIT licence."

!ifdef SIGN
  ; The uninstaller is signed before it is packed into the setup program, which is signed last.
  !uninstfinalize '${SIGN}' = 0
  !finalize '${SIGN}' = 0
!endif

Var Running    ; 1 when an installed copy was running and has been ended
Var Restarted  ; 1 when the setup has started it again
Var Autostart  ; 1 when the Startup shortcut is to be made
Var HadAutostart

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(RunText)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(AutostartText)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION MakeAutostart
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FinishLeave
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(KeptSettingsText)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for a system that has none of them.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString RunText ${LANG_ENGLISH} "Start Kestrion"
LangString RunText ${LANG_RUSSIAN} "Запустить Kestrion"
LangString AutostartText ${LANG_ENGLISH} "Start Kestrion when I log on"
LangString AutostartText ${LANG_RUSSIAN} "Автозапуск"
LangString KeptSettingsText ${LANG_ENGLISH} "Kestrion will be removed from the folder below. Your login, password and the bar's place stay in the registry under HKEY_CURRENT_USER\Software\Kestrion; delete that key to remove them too."
LangString KeptSettingsText ${LANG_RUSSIAN} "Kestrion будет удалён из указанной ниже папки. Логин, пароль и положение полосы останутся в реестре, в разделе HKEY_CURRENT_USER\Software\Kestrion; удалите этот раздел, чтобы стереть и их."
LangString StillRunningText ${LANG_ENGLISH} "Kestrion does not quit. Choose $\"Выход$\" in its menu, then Retry."
LangString StillRunningText ${LANG_RUSSIAN} "Kestrion не завершается. Выберите «Выход» в его меню и нажмите «Повтор»."
LangString NotReplacedText ${LANG_ENGLISH} "Some of Kestrion's files are in use and were not replaced. Quit Kestrion and kestrion-check, then run the setup again."
LangString NotReplacedText ${LANG_RUSSIAN} "Часть файлов Kestrion занята и не заменена. Завершите Kestrion и kestrion-check и запустите установку снова."
LangString NotRemovedText ${LANG_ENGLISH} "Kestrion is still running and could not be removed. Choose $\"Выход$\" in its menu and run the uninstaller again."
LangString NotRemovedText ${LANG_RUSSIAN} "Kestrion ещё работает, и его не удалось удалить. Выберите «Выход» в его меню и запустите удаление снова."

; The link the program's settings dialog makes to itself, field for field: the program, the
; title as its description, no arguments, SW_SHOW, and the program's folder with its
; backslash as the working folder. NSIS's CreateShortcut can set neither SW_SHOW nor that
; folder, and the dialog shows its box ticked for any file of that name.
!macro MAKE_LINK UN
Function ${UN}MakeLink  ; the link's path on the stack
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  System::Call "ole32::CoInitialize(p 0)"
  System::Call "ole32::CoCreateInstance(g '${CLSID_ShellLink}', p 0, i 1, g '${IID_IShellLinkW}', *p .r1) i .r2"
  ${If} $2 = 0
    StrCpy $4 "$INSTDIR\${PROGRAM}"
    System::Call "$1->20(w r4)"        ; SetPath
    StrCpy $4 "Kestrion"
    System::Call "$1->7(w r4)"         ; SetDescription
    System::Call "$1->11(w '')"        ; SetArguments
    System::Call "$1->15(i 5)"         ; SetShowCmd
    StrCpy $4 "$INSTDIR\"
    System::Call "$1->9(w r4)"         ; SetWorkingDirectory
    System::Call "$1->0(g '${IID_IPersistFile}', *p .r2) i .r3"
    ${If} $3 = 0
      System::Call "$2->6(w r0, i 1)"  ; Save
      System::Call "$2->2()"
    ${EndIf}
    System::Call "$1->2()"
  ${EndIf}
  System::Call "ole32::CoUninitialize()"
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro MAKE_LINK ""

; "1" when the link at the path on the stack leads to this folder's program, else "0". Only
; such links are ours to remove: one of the same name may lead to another copy.
!macro LINK_IS_OURS UN
Function ${UN}LinkIsOurs
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 ""
  ${If} ${FileExists} $0
    System::Call "ole32::CoInitialize(p 0)"
    System::Call "ole32::CoCreateInstance(g '${CLSID_ShellLink}', p 0, i 1, g '${IID_IShellLinkW}', *p .r1) i .r2"
    ${If} $2 = 0
      System::Call "$1->0(g '${IID_IPersistFile}', *p .r2) i .r3"
      ${If} $3 = 0
        System::Call "$2->5(w r0, i 0) i .r3"  ; Load, read only
        ${If} $3 = 0
          System::Call "$1->3(w .r3, i ${NSIS_MAX_STRLEN}, p 0, i 0)"  ; GetPath
        ${Else}
          StrCpy $3 ""
        ${EndIf}
        System::Call "$2->2()"
      ${Else}
        StrCpy $3 ""
      ${EndIf}
      System::Call "$1->2()"
    ${EndIf}
    System::Call "ole32::CoUninitialize()"
  ${EndIf}
  ${If} $3 == "$INSTDIR\${PROGRAM}"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro LINK_IS_OURS ""
!insertmacro LINK_IS_OURS "un."

; Ends every running copy of this folder's program the way its "Выход" does: WM_CLOSE to its
; bar window ("TFormMain"), which stores where the bar stood. A copy is killed only when it
; has stopped answering; one that answers and does not end is left for the user to quit.
; Sets $Running to 1 when it ended one. Copies from other folders are left alone.
!macro CLOSE_RUNNING UN
Function ${UN}CloseRunning
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  ${Do}
    ; The first bar of this folder's program; the search starts afresh after each close.
    StrCpy $0 0
    StrCpy $3 0
    ${Do}
      FindWindow $0 "TFormMain" "" 0 $0
      ${If} $0 = 0
        ${Break}
      ${EndIf}
      System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1)"
      ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE
      System::Call "kernel32::OpenProcess(i 0x101001, i 0, i r1) p .r3"
      ${If} $3 P<> 0
        StrCpy $2 ""
        System::Call "kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r2, *i ${NSIS_MAX_STRLEN})"
        ${If} $2 == "$INSTDIR\${PROGRAM}"
          ${Break}
        ${EndIf}
        System::Call "kernel32::CloseHandle(p r3)"
        StrCpy $3 0
      ${EndIf}
    ${Loop}
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    StrCpy $Running 1
    ; SMTO_ABORTIFHUNG: a hung window returns at once.
    System::Call "user32::SendMessageTimeoutW(p r0, i ${WM_CLOSE}, p 0, p 0, i 2, i 5000, *p .r4)"
    System::Call "kernel32::WaitForSingleObject(p r3, i 10000) i .r5"
    ${If} $5 <> 0
      System::Call "user32::SendMessageTimeoutW(p r0, i ${WM_NULL}, p 0, p 0, i 2, i 5000, *p .r4) p .r5"
      ${If} $5 P= 0
        System::Call "kernel32::TerminateProcess(p r3, i 1)"
        System::Call "kernel32::WaitForSingleObject(p r3, i 5000)"
      ${Else}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunningText)" /SD IDCANCEL IDRETRY +3
        System::Call "kernel32::CloseHandle(p r3)"
        Abort
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r3)"
  ${Loop}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Function .onInit
  StrCpy $Running 0
  StrCpy $Restarted 0
  StrCpy $Autostart 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
    StrCpy $Autostart 1
  ${EndIf}
FunctionEnd

Section "Kestrion" SectionMain
  SectionIn RO
  SetShellVarContext current
  Call CloseRunning
  ; A copy that could not be reached still holds its file; File would skip it in silence.
  ${DoWhile} ${FileExists} "$INSTDIR\${PROGRAM}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${PROGRAM}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunningText)" /SD IDCANCEL IDRETRY +2
    Abort
    Call CloseRunning
  ${Loop}
  SetOutPath "$INSTDIR"
  ; A file in use (kestrion-check.exe in the middle of a poll) that the user, or /S, chose to
  ; skip sets the error flag: an install with an old program in it is no success.
  ClearErrors
  ${If} ${RunningX64}
    File "${STAGE}/x64/kestrion.exe"
    File "${STAGE}/x64/kestrion-check.exe"
  ${Else}
    File "${STAGE}/x86/kestrion.exe"
    File "${STAGE}/x86/kestrion-check.exe"
  ${EndIf}
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(NotReplacedText)" /SD IDOK
    ${If} $Running = 1
      Exec '"$INSTDIR\${PROGRAM}"'
    ${EndIf}
    Abort
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS"
  Push "$SMPROGRAMS\Kestrion.lnk"
  Call MakeLink
  ${If} $Autostart = 1
    CreateDirectory "$SMSTARTUP"
    Push "$SMSTARTUP\Kestrion.lnk"
    Call MakeLink
  ${EndIf}

  ; The programs of the width installed, not the section's size, which counts both.
  ${GetSize} "$INSTDIR" "/M=kestrion*.exe /S=0K /G=0" $0 $1 $2
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kestrion"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${WEB}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ${If} $Running = 1
    Exec '"$INSTDIR\${PROGRAM}"'
    StrCpy $Restarted 1
  ${EndIf}
SectionEnd

Function FinishShow
  ; Started again already: a second copy is not offered.
  ${If} $Restarted = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
  ; The box shows the Startup shortcut as it is, as the program's settings dialog does.
  Push "$SMSTARTUP\Kestrion.lnk"
  Call LinkIsOurs
  Pop $HadAutostart
  ${If} $HadAutostart = 1
    SendMessage $mui.FinishPage.ShowReadme ${BM_SETCHECK} ${BST_CHECKED} 0
  ${EndIf}
FunctionEnd

Function FinishLeave
  ${NSD_GetState} $mui.FinishPage.ShowReadme $0
  ${If} $0 <> ${BST_CHECKED}
  ${AndIf} $HadAutostart = 1
    Delete "$SMSTARTUP\Kestrion.lnk"
  ${EndIf}
FunctionEnd

Function StartProgram
  ${If} $Restarted <> 1
    Exec '"$INSTDIR\${PROGRAM}"'
  ${EndIf}
FunctionEnd

Function MakeAutostart
  CreateDirectory "$SMSTARTUP"
  Push "$SMSTARTUP\Kestrion.lnk"
  Call MakeLink
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.CloseRunning
  ; A copy still running (one that could not be reached) keeps its file: say so and leave the
  ; rest in place for another try, rather than report a removal that did not happen.
  Delete "$INSTDIR\kestrion.exe"
  ${If} ${FileExists} "$INSTDIR\kestrion.exe"
    MessageBox MB_OK|MB_ICONSTOP "$(NotRemovedText)" /SD IDOK
    Abort
  ${EndIf}
  !macro REMOVE_OUR_LINK FOLDER
    Push "${FOLDER}\Kestrion.lnk"
    Call un.LinkIsOurs
    Pop $0
    ${If} $0 = 1
      Delete "${FOLDER}\Kestrion.lnk"
    ${EndIf}
  !macroend
  !insertmacro REMOVE_OUR_LINK "$SMSTARTUP"
  !insertmacro REMOVE_OUR_LINK "$DESKTOP"
  !insertmacro REMOVE_OUR_LINK "$SMPROGRAMS"

  Delete "$INSTDIR\kestrion-check.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only the files put there: a folder chosen with /D= may hold the user's own.
  RMDir "$INSTDIR"

  ; The entry may by now describe a later install into another folder.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  ; HKCU\Software\Kestrion stays: the user's login, password and the bar's place.
SectionEnd
