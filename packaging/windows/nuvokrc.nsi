; The NUVOKrc set-up program for 64-bit Windows (NSIS 3, Modern UI 2).
; Built by scripts/package-windows.sh from the same staged files as the zip:
;   makensis -DVERSION=0.1.0 -DSTAGE=<folder> -DFILES=<files.nsh> -DFOLDERS=<folders.nsh>
;            -DICON=<nuvokrc.ico> -DOUTFILE=<setup.exe> nuvokrc.nsi
; FILES names every staged file as ${FileEntry} "<\folder or nothing>" "<name>",
; so that the installer and the uninstaller handle exactly the files of the zip;
; FOLDERS names its folders, the deepest first, as ${FolderEntry} "<\folder>".

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "VERSION must be defined (see the head of this file)"
!endif
!ifndef STAGE
  !error "STAGE must be defined (see the head of this file)"
!endif
!ifndef FILES
  !error "FILES must be defined (see the head of this file)"
!endif
!ifndef FOLDERS
  !error "FOLDERS must be defined (see the head of this file)"
!endif
!ifndef ICON
  !error "ICON must be defined (see the head of this file)"
!endif
!ifndef OUTFILE
  !error "OUTFILE must be defined (see the head of this file)"
!endif

!define PRODUCT "NUVOKrc"
!define TITLE "NUVOK Remote Control"
!define PUBLISHER "NUVOKrc developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NUVOKrc"
; What the program's own "Start on Power up" writes and reads.
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "NUVOKRC"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\NUVOKrc"
!define SHORTCUT "$SMPROGRAMS\${TITLE}.lnk"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!searchparse /noerrors "${VERSION}" "" V1 "." V2 "." V3
VIProductVersion "${V1}.${V2}.${V3}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} set-up"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The NUVOKrc developers (MIT licence)"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgramAsUser
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your ${PRODUCT} settings (port and protocol) are kept unless you tick them here."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var wasRunning

; Starts the installed NUVOKrc as the signed-in user, never with the set-up
; program's administrator rights: the desktop shell (explorer.exe) starts it,
; as a double click on it does, so that its listener runs with the user's
; rights and reads the user's settings. explorer.exe passes no arguments on;
; none is needed, as the program always starts hidden in the notification
; area (-min, which the Run value carries, changes nothing there). A shortcut
; carrying -min would not do better: in $PLUGINSDIR it may be gone before the
; shell opens it, and the user's shell cannot read another administrator's
; temporary folder.
Function StartProgramAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\nuvokrc.exe"'
FunctionEnd

; Asks a running NUVOKrc to close through its window's close message, the
; way closing its window ends it, and waits until its program file is free.
; Sets $wasRunning to 1 when it was running. A program that does not go
; within 15 s is ended, so that the files can be replaced all the same.
!macro CloseRunningProgram un
Function ${un}CloseRunningProgram
  StrCpy $wasRunning 0
  FindWindow $0 "" "${TITLE}"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $wasRunning 1
  DetailPrint "Closing the running ${PRODUCT}"
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $1 0
  ${Do}
    FindWindow $0 "" "${TITLE}"
    ${If} $0 = 0
      ClearErrors
      FileOpen $2 "$INSTDIR\nuvokrc.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        Return
      ${EndIf}
      IfFileExists "$INSTDIR\nuvokrc.exe" 0 done
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 150
      DetailPrint "${PRODUCT} did not close within 15 s; ending it"
      nsExec::Exec 'taskkill /f /im nuvokrc.exe'
      Pop $2
      Sleep 1000
      Return
    ${EndIf}
    Sleep 100
  ${Loop}
  done:
FunctionEnd
!macroend
!insertmacro CloseRunningProgram ""
!insertmacro CloseRunningProgram "un."

; A file still held by some process is moved aside and removed at the next
; start of Windows, so that an update never fails on a file in use.
!macro InstallFile folder name
  SetOutPath "$INSTDIR${folder}"
  ${If} ${FileExists} "$INSTDIR${folder}\${name}"
    ClearErrors
    Delete "$INSTDIR${folder}\${name}"
    ${If} ${Errors}
      Delete "$INSTDIR${folder}\${name}.old"
      Rename "$INSTDIR${folder}\${name}" "$INSTDIR${folder}\${name}.old"
      Delete /REBOOTOK "$INSTDIR${folder}\${name}.old"
    ${EndIf}
  ${EndIf}
  File "/oname=${name}" "${STAGE}${folder}\${name}"
!macroend

!macro RemoveFolder folder
  RMDir /REBOOTOK "$INSTDIR${folder}"
!macroend

!macro RemoveFile folder name
  Delete /REBOOTOK "$INSTDIR${folder}\${name}"
  Delete /REBOOTOK "$INSTDIR${folder}\${name}.old"
!macroend

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetShellVarContext all
  Call CloseRunningProgram
  !define FileEntry "!insertmacro InstallFile"
  !include "${FILES}"
  !undef FileEntry
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\nuvokrc.exe" "" "$INSTDIR\nuvokrc.exe" 0 \
    SW_SHOWNORMAL "" "${PRODUCT}: turns a network remote handset into a remote control"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\nuvokrc.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start ${PRODUCT} with Windows" SecRun
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\nuvokrc.exe" -min'
SectionEnd

; Unticked, the option means no start with Windows, also for an update of an
; installation that had it.
Section "-RunOff"
  ${IfNot} ${SectionIsSelected} ${SecRun}
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

; A program that was running before a silent update runs again after it, as
; the signed-in user; an interactive one offers that on its last page.
Section "-Restart"
  ${If} $wasRunning = 1
  ${AndIf} ${Silent}
    Call StartProgramAsUser
  ${EndIf}
SectionEnd

Function .onInit
  SetRegView 64
  ; An update keeps the choice of the installed version: no Run value there
  ; means the user does not want NUVOKrc started with Windows.
  ClearErrors
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${IfNot} ${Errors}
    ClearErrors
    ReadRegStr $1 HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecRun}
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT}" UnSecProgram
  SectionIn RO
  SetShellVarContext all
  Call un.CloseRunningProgram
  !define FileEntry "!insertmacro RemoveFile"
  !include "${FILES}"
  !undef FileEntry
  Delete "$INSTDIR\uninstall.exe"
  Delete "${SHORTCUT}"
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !define FolderEntry "!insertmacro RemoveFolder"
  !include "${FOLDERS}"
  !undef FolderEntry
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd

Section /o "un.Remove my ${PRODUCT} settings" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd
