#!/bin/bash
# The installer in a fresh Wine prefix, used as an administrator deploying it would: silent install, the
# program started through its shortcut, an upgrade over the running copy, silent removal. Under avec-wine.sh.
# Usage: installation-windows.sh Papirol2-<version>-installation.exe Papirol2.exe
set -u
. "$(dirname "$0")/verifications.sh"
installeur=$(realpath "$1") exe=$(realpath "$2")
# Wine would pass this Linux variable on to the program, which no Windows session has.
unset XDG_RUNTIME_DIR
variable() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
reglages_w="$(variable APPDATA)\Papirol 2" programme_w="$(variable LOCALAPPDATA)\Programs\Papirol 2"
reglages=$(winepath -u "$reglages_w") programme=$(winepath -u "$programme_w")
menu=$(winepath -u "$(variable APPDATA)\Microsoft\Windows\Start Menu\Programs")
demarrage="$menu/StartUp/Papirol 2.lnk" cle='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Papirol 2'

valeur() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; } # <key> <name>
en_cours() { # a copy of the installed program runs in this prefix
    pgrep -f 'Papirol 2\\Papirol2\.exe' | sed 's|.*|/proc/&/environ|' \
        | xargs -r grep -lzx "WINEPREFIX=$WINEPREFIX" 2>/dev/null | grep -q .
}
# What the shell shows of a shortcut: its target (8-bit), then its working folder (UTF-16).
raccourci() { [ -f "$1" ] && strings "$1" | grep -qxF "$programme_w\\Papirol2.exe" && strings -el "$1" | grep -qF "$reglages_w"; }
installer() { wine "$installeur" "$@" >/dev/null 2>&1; }
# Wine's start waits on an error box when the shortcut is missing.
lancer() { [ -f "$1" ] && wine start /unix "$1"; }
# Settings that name a picture folder: the wallpaper then says which Papirol2.ini the program read.
mkdir -p "$WINEPREFIX/drive_c/images" && convert -size 8x8 xc:red "BMP3:$WINEPREFIX/drive_c/images/rouge.bmp"
fond_de_reglages() { [ "$(valeur 'HKCU\Control Panel\Desktop' Wallpaper)" = 'C:\images\rouge.bmp' ]; }

verifier "a silent install succeeds" installer /S
verifier "the program is in the user's Programs folder" cmp -s "$exe" "$programme/Papirol2.exe"
verifier "the Start menu shortcut starts it in the settings folder" raccourci "$menu/Papirol 2.lnk"
verifier "no start at login unless asked" test ! -e "$demarrage"
p=$(sed 's/[\\.]/\\&/g' <<<"$programme_w") # as a regular expression
for attendu in "DisplayName=Papirol 2" "DisplayVersion=[0-9]+\.[0-9]+\.[0-9]+" "Publisher=.+" \
    "InstallLocation=$p" "DisplayIcon=\"$p\\\\Papirol2\.exe\",0" "EstimatedSize=0x[1-9a-f][0-9a-f]*" \
    "UninstallString=\"$p\\\\desinstaller\.exe\"" "QuietUninstallString=\"$p\\\\desinstaller\.exe\" /S"; do
    verifier "the uninstall entry's ${attendu%%=*}" grep -qxE "${attendu#*=}" <<<"$(valeur "$cle" "${attendu%%=*}")"
done

printf '[Options]\r\nactive=true\r\ntimer=600\r\n\r\n[Emplacement_0]\r\npath=C:\\\\images\r\nfiltre=*.bmp\r\nselected=true\r\n' \
    >"$reglages/Papirol2.ini"
printf x >>"$programme/Papirol2.exe" # marked, to see the upgrade replace it
lancer "$menu/Papirol 2.lnk"
verifier "started through its shortcut, it reads the settings folder's ini" attendre 60 fond_de_reglages

verifier "an upgrade over the running copy succeeds" installer /S /DEMARRAGE=oui
verifier "the running copy was ended" eval '! en_cours'
verifier "the program was replaced" cmp -s "$exe" "$programme/Papirol2.exe"
verifier "the settings stay" grep -qF "path=C:\\\\images" "$reglages/Papirol2.ini"
verifier "/DEMARRAGE=oui adds the start at login, in the settings folder" raccourci "$demarrage"
installer /S
verifier "a later upgrade keeps the start at login" test -e "$demarrage"

lancer "$demarrage"
attendre 60 en_cours
wine "$programme/desinstaller.exe" /S >/dev/null 2>&1
verifier "the silent uninstall ends the running copy and removes the program" attendre 60 test ! -e "$programme"
verifier "and its shortcuts" test ! -e "$menu/Papirol 2.lnk" -a ! -e "$demarrage"
verifier "and its uninstall entry" attendre 10 eval '! wine reg query "$cle" >/dev/null 2>&1'
verifier "and leaves the settings folder with Papirol2.ini alone" test "$(ls -A "$reglages")" = Papirol2.ini
bilan
