; The per-user installer: no administrator rights, the program in the user's Programs folder, the settings
; in the user's roaming application data, which every shortcut starts the program in.
; makensis -DVERSION=x.y.z -DEXE=Papirol2.exe -DICONE=papirol2.ico -DSORTIE=installer.exe installation.nsi
; Silent: /S; /DEMARRAGE=oui adds the start at login.
; The program is 64-bit only, and so is the Wine that tests the installer.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
BrandingText "${NOM} ${VERSION}"
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define NOM "Papirol 2"
!define CLE "Software\Microsoft\Windows\CurrentVersion\Uninstall\Papirol 2"
!define REGLAGES "$APPDATA\${NOM}"
!define RACCOURCI "${NOM}.lnk"

Name "${NOM}"
OutFile "${SORTIE}"
InstallDir "$LOCALAPPDATA\Programs\${NOM}"
InstallDirRegKey HKCU "${CLE}" InstallLocation

!define MUI_ICON "${ICONE}"
!define MUI_UNICON "${ICONE}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Lancer ${NOM} maintenant"
!define MUI_FINISHPAGE_RUN_FUNCTION lancer
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE French

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_FRENCH} ProductName "${NOM}"
VIAddVersionKey /LANG=${LANG_FRENCH} FileDescription "Installation de ${NOM}"
VIAddVersionKey /LANG=${LANG_FRENCH} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_FRENCH} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_FRENCH} CompanyName "Papirol 2 maintainers"
VIAddVersionKey /LANG=${LANG_FRENCH} LegalCopyright "Papirol 2 maintainers"

; A running copy keeps its exe from being replaced or removed. It is asked to quit through the command that
; reaches the copy of the same settings folder; an exe without that command sees the copy and exits at once.
; One that has not quit after 10 s is ended; one that outlives that stops the installer.
!macro ARRETER
    StrCpy $R0 0
    ${DoWhile} ${FileExists} "$INSTDIR\Papirol2.exe"
        ClearErrors
        FileOpen $R1 "$INSTDIR\Papirol2.exe" a
        ${IfNot} ${Errors}
            FileClose $R1
            ${Break}
        ${EndIf}
        ${If} $R0 = 0
            SetOutPath "${REGLAGES}"
            Exec '"$INSTDIR\Papirol2.exe" --quitter'
        ${ElseIf} $R0 = 40
            nsExec::Exec 'taskkill /F /IM Papirol2.exe'
            Pop $R1
        ${ElseIf} $R0 > 60
            ; Not a silent success: the exit code says so.
            Abort "Papirol 2 ne s'est pas arrêté : fermez-le, puis recommencez."
        ${EndIf}
        Sleep 250
        IntOp $R0 $R0 + 1
    ${Loop}
!macroend

Section "-${NOM}"
    !insertmacro ARRETER
    SetOutPath "$INSTDIR"
    File "/oname=Papirol2.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\desinstaller.exe"
    ; A shortcut starts the program in $OUTDIR.
    SetOutPath "${REGLAGES}"
    CreateShortcut "$SMPROGRAMS\${RACCOURCI}" "$INSTDIR\Papirol2.exe"
    Delete "$SMSTARTUP\${RACCOURCI}"

    WriteRegStr HKCU "${CLE}" DisplayName "${NOM}"
    WriteRegStr HKCU "${CLE}" DisplayVersion "${VERSION}"
    WriteRegStr HKCU "${CLE}" Publisher "Papirol 2 maintainers"
    WriteRegStr HKCU "${CLE}" DisplayIcon '"$INSTDIR\Papirol2.exe",0'
    WriteRegStr HKCU "${CLE}" InstallLocation "$INSTDIR"
    WriteRegStr HKCU "${CLE}" UninstallString '"$INSTDIR\desinstaller.exe"'
    WriteRegStr HKCU "${CLE}" QuietUninstallString '"$INSTDIR\desinstaller.exe" /S'
    WriteRegDWORD HKCU "${CLE}" NoModify 1
    WriteRegDWORD HKCU "${CLE}" NoRepair 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${CLE}" EstimatedSize $0
SectionEnd

Section /o "Lancer ${NOM} à l'ouverture de session" DEMARRAGE
    SetOutPath "${REGLAGES}"
    CreateShortcut "$SMSTARTUP\${RACCOURCI}" "$INSTDIR\Papirol2.exe"
SectionEnd

Function .onInit
    ${GetParameters} $0
    ${GetOptions} $0 "/DEMARRAGE=" $1
    ; An upgrade keeps the choice made before.
    ${If} $1 == ""
    ${AndIf} ${FileExists} "$SMSTARTUP\${RACCOURCI}"
        StrCpy $1 "oui"
    ${EndIf}
    ${If} $1 == "oui"
        SectionSetFlags ${DEMARRAGE} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Function lancer
    SetOutPath "${REGLAGES}"
    Exec '"$INSTDIR\Papirol2.exe"'
FunctionEnd

; The settings folder and its Papirol2.ini are the user's data: they stay.
Section "Uninstall"
    !insertmacro ARRETER
    Delete "$SMPROGRAMS\${RACCOURCI}"
    Delete "$SMSTARTUP\${RACCOURCI}"
    Delete "$INSTDIR\Papirol2.exe"
    Delete "$INSTDIR\desinstaller.exe"
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${CLE}"
SectionEnd
