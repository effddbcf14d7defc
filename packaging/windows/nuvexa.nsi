; The Windows installer: nuvexa.exe into its folder, registered and started as the service.
; makensis -DNUVEXA_EXE=<path of nuvexa.exe> -DOUTFILE=<path of nuvexa-setup.exe> -DVERSION=<x.y.z>
; a 64-bit installer, as nuvexa.exe is
Target amd64-unicode
!include "LogicLib.nsh"

Name "Nuvexa"
OutFile "${OUTFILE}"
; the pharmacy's folder, beside Quorvo.ini, when the person points it there
InstallDir "C:\Nuvexa"
RequestExecutionLevel admin
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Nuvexa"
VIAddVersionKey "FileDescription" "Nuvexa setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "CompanyName" "Nuvexa"
VIAddVersionKey "LegalCopyright" "Nuvexa"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Nuvexa"
  SetOutPath "$INSTDIR"
  ; a running service holds the old executable open
  ExecWait '"$SYSDIR\net.exe" stop SrvNuvexa'
  File "/oname=nuvexa.exe" "${NUVEXA_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; an installed service stays registered as it was: only a new one is registered
  ExecWait '"$INSTDIR\nuvexa.exe" -INSTALL -SILENT' $0
  ${If} $0 != 0
    ExecWait '"$INSTDIR\nuvexa.exe" -UNINSTALL -SILENT' $1
    ExecWait '"$INSTDIR\nuvexa.exe" -INSTALL -SILENT' $0
  ${EndIf}
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "O serviço Nuvexa não pôde ser registrado (código $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ExecWait '"$SYSDIR\net.exe" start SrvNuvexa' $0
  ${If} $0 != 0
    DetailPrint "O serviço Nuvexa foi registrado, mas não iniciou (código $0)."
  ${EndIf}
SectionEnd

Section "Uninstall"
  ExecWait '"$SYSDIR\net.exe" stop SrvNuvexa'
  ExecWait '"$INSTDIR\nuvexa.exe" -UNINSTALL -SILENT' $0
  ${If} $0 != 0
    DetailPrint "O serviço Nuvexa não pôde ser removido (código $0)."
  ${EndIf}
  Delete "$INSTDIR\nuvexa.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; the backups, the archives and Nuvexa.log stay: the folder goes only when it is empty
  RMDir "$INSTDIR"
SectionEnd
