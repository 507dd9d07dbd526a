; The per-user installer of Zorvane for 64-bit Windows, made by scripts/build-windows.sh:
;   makensis -DVERSION=0.1.0 -DPACKAGE=DIR -DICON=zorvane.ico -DFILES=files.nsh -DOUTFILE=SETUP.exe zorvane.nsi
; PACKAGE is the zip's folder; FILES lists its files as `File` and `Delete` lines for
; the install and the uninstall, so that the uninstaller removes what it put there
; and nothing else (a current.txt, or scans, left in the folder stay).
; No administrator rights: the program goes to the user's own program folder, the
; Start menu entry, the folder verb and the uninstall entry to the user's registry.

Unicode true
; 64-bit, as zorvane.exe is (a 32-bit installer would see the 32-bit registry view).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define APP "Zorvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorvane"
; Read by zorvane.exe (QSettings "zorvane"/"zorvane", key install/folder): the copy
; in this folder is the installed one, which asks for the page folder.
!define SETTINGS_KEY "Software\Zorvane"
!define INSTALL_MARK_KEY "Software\Zorvane\Zorvane\install"
!define VERB_KEY "Software\Classes\Directory\shell\Zorvane"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${INSTALL_MARK_KEY}" "folder"
Icon "${ICON}"
UninstallIcon "${ICON}"
LicenseData "${PACKAGE}/LICENSE.txt"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup (for this user)"
VIAddVersionKey "CompanyName" "The Zorvane developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Zorvane developers. MIT licence."

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Zorvane"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    !define INSTALL
    !include "${FILES}"
    !undef INSTALL
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\zorvane.exe" "" "$INSTDIR\zorvane.exe" 0 \
        SW_SHOWNORMAL "" "Show scanned pages above the program you type in"
    WriteRegStr HKCU "${INSTALL_MARK_KEY}" "folder" "$INSTDIR"

    ; "Open with Zorvane" on folders; the default action of folders stays Explorer's.
    WriteRegStr HKCU "${VERB_KEY}" "" "Open with Zorvane"
    WriteRegStr HKCU "${VERB_KEY}" "Icon" '"$INSTDIR\zorvane.exe",0'
    WriteRegStr HKCU "${VERB_KEY}\command" "" '"$INSTDIR\zorvane.exe" "%1"'

    ; Apps & features (and Programs and Features).
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Zorvane developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.zorvane.org/"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\zorvane.exe",0'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey HKCU "${VERB_KEY}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; The install mark and the folder chosen last.
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    !define UNINSTALL
    !include "${FILES}"
    !undef UNINSTALL
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
