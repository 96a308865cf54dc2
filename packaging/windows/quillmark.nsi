; The Windows installer: per user, without administrator rights. Everything it writes is under
; %LOCALAPPDATA%\Programs\Quillmark, the user's Start menu and HKEY_CURRENT_USER, and the
; uninstaller takes back exactly that.
;
; makensis -DFILES=files.nsh -DVERSION=x.y.z -DOUTFILE=setup.exe quillmark.nsi
; FILES (written by scripts/package from the cmake --install tree) holds the macros
; VyInstallFiles and VyUninstallFiles and defines VY_HAS_SIGNER / VY_HAS_VOTEAUTH for the
; programs that the tree installs.

; The programs are x86-64 only, and so is the installer: it runs where they run.
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
!include "LogicLib.nsh"
!include "${FILES}"

!define PRODUCT "Quillmark"
!define SCHEME "firmatalven"
!define SCHEME_KEY "Software\Classes\${SCHEME}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "Desinstalar.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
!ifdef ICON
Icon "${ICON}"
UninstallIcon "${ICON}"
!endif
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Spanish.nlf"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Quillmark"
  !insertmacro VyInstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  !ifdef VY_HAS_SIGNER
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Quillmark.lnk" "$INSTDIR\signer.exe" "" "$INSTDIR\quillmark-signer.ico"
  !endif
  !ifdef VY_HAS_VOTEAUTH
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\TalvenNet.lnk" "$INSTDIR\voteauth.exe" "" "$INSTDIR\quillmark-voteauth.ico"
    ; Web pages start the authenticator through its scheme: the same three values the
    ; authenticator's own registration writes.
    WriteRegStr HKCU "${SCHEME_KEY}" "" "URL:${SCHEME} Identidad Digital"
    WriteRegStr HKCU "${SCHEME_KEY}" "URL Protocol" ""
    WriteRegStr HKCU "${SCHEME_KEY}\shell\open\command" "" '"$INSTDIR\voteauth.exe" "%1"'
  !endif
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Desinstalar ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !ifdef VY_HAS_VOTEAUTH
    ; Another program may have taken the scheme over since: its registration stays.
    ReadRegStr $0 HKCU "${SCHEME_KEY}\shell\open\command" ""
    ${If} $0 == '"$INSTDIR\voteauth.exe" "%1"'
      DeleteRegValue HKCU "${SCHEME_KEY}\shell\open\command" ""
      DeleteRegKey /ifempty HKCU "${SCHEME_KEY}\shell\open\command"
      DeleteRegKey /ifempty HKCU "${SCHEME_KEY}\shell\open"
      DeleteRegKey /ifempty HKCU "${SCHEME_KEY}\shell"
      DeleteRegValue HKCU "${SCHEME_KEY}" "URL Protocol"
      DeleteRegValue HKCU "${SCHEME_KEY}" ""
      DeleteRegKey /ifempty HKCU "${SCHEME_KEY}"
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}\TalvenNet.lnk"
  !endif
  !ifdef VY_HAS_SIGNER
    Delete "$SMPROGRAMS\${PRODUCT}\Quillmark.lnk"
  !endif
  Delete "$SMPROGRAMS\${PRODUCT}\Desinstalar ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  !insertmacro VyUninstallFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: files the programs or the user put there (the authenticator's log) stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
