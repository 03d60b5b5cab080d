; The Windows installer: the bundle goes into the system-wide VST 3 folder, where every host
; looks; the uninstaller, registered in Add/Remove Programs, removes exactly what was put down.
;   makensis -DVERSION=1.0.0 -DPUBLISHER=<maker> -DURL=<site> -DSTAGE=<dir> -DOUTFILE=<setup.exe> caldrith.nsi
; (scripts/package.sh passes the version, maker and site from the build's identity record)
; STAGE holds README.txt, caldrith.ico, header.bmp, welcome.bmp and the file lists
; install-files.nsh and uninstall-files.nsh that scripts/package.sh writes from the bundle.

Unicode true
; A 64-bit program, like the module it installs: 32-bit Windows refuses to start it.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!define PRODUCT "Caldrith"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Caldrith"
!define BUNDLE "$COMMONFILES64\VST3\Caldrith.vst3"
!define CLAPDIR "$COMMONFILES64\CLAP"
!define APPDIR "$PROGRAMFILES64\${PUBLISHER}\Caldrith"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${APPDIR}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "(c) ${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${STAGE}/caldrith.ico"
!define MUI_UNICON "${STAGE}/caldrith.ico"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${STAGE}/header.bmp"
!define MUI_HEADERIMAGE_UNBITMAP "${STAGE}/header.bmp"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${STAGE}/welcome.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${STAGE}/welcome.bmp"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT}, an isochronic tone instrument, as a VST 3 and a CLAP plug-in for 64-bit hosts.$\r$\n$\r$\nThey go into the folders Common Files\VST3 and Common Files\CLAP, where VST 3 and CLAP hosts look for plug-ins. Close your hosts before you continue, then let them rescan their plug-ins."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} is in $COMMONFILES64\VST3 and $COMMONFILES64\CLAP. Rescan the plug-ins in your host and load it on an instrument track."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var createdVst3Folder
Var createdClapFolder

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Caldrith"
  SectionIn RO
  ; Over an earlier installation, that version's own uninstaller first takes away what it put
  ; down (its file list may differ from this one); "_?=" makes it finish before we go on.
  ${If} ${FileExists} "${APPDIR}\uninstall.exe"
    DetailPrint "Removing the installed version first"
    ExecWait '"${APPDIR}\uninstall.exe" /S _?=${APPDIR}'
  ${EndIf}

  StrCpy $createdVst3Folder 0
  ${IfNot} ${FileExists} "$COMMONFILES64\VST3\*.*"
    StrCpy $createdVst3Folder 1
  ${EndIf}

  StrCpy $createdClapFolder 0
  ${IfNot} ${FileExists} "${CLAPDIR}\*.*"
    StrCpy $createdClapFolder 1
  ${EndIf}

  SetOverwrite on
  !include "${STAGE}/install-files.nsh"
  ; The CLAP module, where CLAP hosts look.
  SetOutPath "${CLAPDIR}"
  File "${STAGE}/Caldrith.clap"

  SetOutPath "${APPDIR}"
  File "/oname=README.txt" "${STAGE}/README.txt"
  WriteUninstaller "${APPDIR}\uninstall.exe"

  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$\"${APPDIR}\uninstall.exe$\",0"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" "$\"${APPDIR}\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" "$\"${APPDIR}\uninstall.exe$\" /S"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "${BUNDLE}"
  WriteRegStr HKLM "${UNINSTKEY}" "URLInfoAbout" "http://${URL}"
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  ; Remembered so that the uninstaller takes the VST 3 folder away only if we made it.
  WriteRegDWORD HKLM "${UNINSTKEY}" "CreatedVst3Folder" $createdVst3Folder
  WriteRegDWORD HKLM "${UNINSTKEY}" "CreatedClapFolder" $createdClapFolder
  ${GetSize} "${BUNDLE}" "/S=0K" $0 $1 $2
  ${GetSize} "${APPDIR}" "/S=0K" $3 $1 $2
  IntOp $0 $0 + $3
  ${GetSize} "${CLAPDIR}" "/M=Caldrith.clap /S=0K" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" $0
SectionEnd

; Files the user deleted by hand are simply skipped; files in use go at the next restart;
; folders go only when empty, so nothing the user added is lost.
Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTKEY}" "CreatedVst3Folder"
  ReadRegDWORD $4 HKLM "${UNINSTKEY}" "CreatedClapFolder"
  !include "${STAGE}/uninstall-files.nsh"
  Delete /REBOOTOK "${CLAPDIR}\Caldrith.clap"
  ${If} $4 = 1
    RMDir "${CLAPDIR}"
  ${EndIf}
  Delete "${APPDIR}\README.txt"
  Delete "${APPDIR}\uninstall.exe"
  RMDir "${APPDIR}"
  RMDir "$PROGRAMFILES64\${PUBLISHER}"
  ${If} $0 = 1
    RMDir "$COMMONFILES64\VST3"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
