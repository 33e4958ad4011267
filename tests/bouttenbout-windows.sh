#!/bin/bash
# The real Papirol2.exe in a Wine virtual desktop, driven as a user would: its tray icon, its command line and
# the layouts of its menu (found by OCR), checked through the registry, the desktop's pixels and Papirol2.ini.
# What each menu entry does is judged over dbusmenu on Linux (sni.py); here, what is Windows' own. Wine draws
# BMP wallpapers only, so the pictures are BMPs. Runs under avec-wine.sh. Usage: bouttenbout-windows.sh Papirol2.exe
set -u
exe=$(realpath "$1")
. "$(dirname "$0")/verifications.sh"
# Wine would pass this Linux variable on to the program, which no Windows session has.
unset XDG_RUNTIME_DIR
read -r largeur hauteur < <(xdotool getdisplaygeometry)
travail=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-bouttenbout.XXXXXX")
trap 'rm -rf "$travail"' EXIT
cle='HKCU\Control Panel\Desktop'

# Every program of this prefix opens in one virtual desktop the size of the screen; "shell" gives it a taskbar.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "${largeur}x${hauteur}" /f >/dev/null 2>&1
wine reg delete "$cle" /v Wallpaper /f >/dev/null 2>&1

# A user's picture folder whose name Windows' ANSI code page cannot all spell.
dossier_windows="C:\\users\\Zoé\\Images d'été"
dossier="$WINEPREFIX/drive_c/users/Zoé/Images d'été"
mkdir -p "$dossier"
for c in ff0000 0000ff; do convert -size 64x64 "xc:#$c" "BMP3:$dossier/$c.bmp"; done
ini="$travail/Papirol2.ini"
printf '[Options]\r\nactive=true\r\ntimer=600\r\n\r\n[Emplacement_0]\r\npath=%s\r\nfiltre=*.bmp\r\nselected=true\r\n' \
    "${dossier_windows//\\/\\\\}" >"$ini"

fond() { # the Wallpaper value, exactly: reg query prints through the console's code page, reg export does not
    wine reg export "$cle" "$travail/bureau.reg" /y >/dev/null 2>&1 && iconv -f UTF-16 -t UTF-8 "$travail/bureau.reg" \
        | tr -d '\r' | sed -n '/^"Wallpaper"="\(.*\)"$/{s//\1/;s/\\\\/\\/g;p}'
}
# A REG_SZ value of the desktop key; "#rrggbb" at x y of the last capture.
valeur() { wine reg query "$cle" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }'; }
capture() { import -window root "$travail/ecran.png"; }
point() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | tr A-F a-f; }
pixel() { point "$travail/ecran.png" "$@"; }
couleur_du_fond() { basename "$(fond | tr '\\' /)" .bmp; }
# The desktop's pixels at x y show the picture the registry names.
fond_affiche() { local c; c=$(couleur_du_fond) && [ -n "$c" ] && capture && [ "#$c" = "$(pixel "$1" "$2")" ]; }
fond_du_dossier() { [[ "$(fond)" == "$dossier_windows\\"??????.bmp ]]; }
fond_change() { local f; f=$(fond) && [ -n "$f" ] && [ "$f" != "$avant" ]; }
changer() { avant=$(fond) && "$@" >/dev/null 2>&1 && attendre 15 fond_change; } # <the command that changes it>
paire() { [ "$(valeur WallpaperStyle) $(valeur TileWallpaper)" = "$1 $2" ]; }

# The tray sits at the right end of the taskbar: the icon is what appears there once the program runs, its box
# (%@, WxH+X+Y in the strip) no larger than an icon, else it is the desktop repainting.
bande() { import -window root -crop "120x24+$((largeur - 120))+$((hauteur - 24))" "$travail/$1.png"; }
icone_apparue() {
    local l h x y
    bande apres && IFS='x+' read -r l h x y < <(convert avant.png apres.png -compose difference -composite \
        -threshold 0 -format '%@\n' info: 2>/dev/null) && [ "$l" -gt 0 ] && [ "$l" -le 32 ] && [ "$h" -le 32 ] || return 1
    icone_x=$((largeur - 120 + x + l / 2)) icone_y=$((hauteur - 24 + y + h / 2))
}

# Words on screen, by OCR of the lower right corner where the tray menu opens: "x y word" per word, accents
# dropped and case folded. The menu's small font reads differently at each scale: the readings of three are pooled.
mots() {
    local x0=$((largeur - 500)) y0=$((hauteur - 450)) lecture
    import -window root -crop "500x450+$x0+$y0" "$travail/menu.png"
    for lecture in "3 -colorspace Gray" "4 -colorspace Gray" "4 -colorspace Gray -sharpen 0x1"; do
        set -- $lecture
        convert "$travail/menu.png" -resize "${1}00%" "${@:2}" "$travail/lecture.png"
        tesseract "$travail/lecture.png" - -l fra --psm 11 tsv 2>/dev/null | awk -F'\t' -v x0="$x0" -v y0="$y0" \
            -v e="$1" 'NR > 1 && $12 ~ /[^[:space:]]/ { printf "%d %d %s\n", x0 + ($7 + $9 / 2) / e, y0 + ($8 + $10 / 2) / e, $12 }'
    done | iconv -f UTF-8 -t ASCII//TRANSLIT | tr '[:upper:]' '[:lower:]' >"$travail/mots.txt"
}
# "x y" of the first word read that begins with the first five letters of $1: a letter misread past them is no matter.
trouver() {
    awk -v d="$(printf '%s' "$1" | iconv -f UTF-8 -t ASCII//TRANSLIT | tr '[:upper:]' '[:lower:]' | cut -c1-5)" \
        'index($3, d) == 1 { print $1, $2; t = 1; exit } END { exit !t }' "$travail/mots.txt"
}
cliquer() { [ -n "$1" ] && xdotool mousemove $1 click 1; }
# The menu opens at the same place each time: where its entries are is read once.
declare -A entree
lire_menu() { mots && for m in "$@"; do entree[$m]=$(trouver "$m") || return 1; done; }
# The pointer then leaves the icon, whose tooltip would cover the menu's last entries.
ouvrir_menu() { xdotool mousemove "$icone_x" "$icone_y" click 3 mousemove $((icone_x - 500)) "$icone_y"; sleep 1; }

# The taskbar is drawn once its corner no longer has the desktop's colour (slow in a new prefix).
barre_prete() { capture && [ "$(pixel $((largeur - 2)) $((hauteur - 2)))" != "$(pixel $((largeur - 2)) $((hauteur - 60)))" ]; }

cd "$travail" || exit 1
wine explorer /desktop=shell,"${largeur}x${hauteur}" >/dev/null 2>&1 &
attendre 60 barre_prete
sleep 2
bande avant
wine "$exe" >"$travail/premier.log" 2>&1 &
premier=$!

verifier "the tray icon appears" attendre 60 icone_apparue
verifier "the registry's Wallpaper names a picture of the location" attendre 30 fond_du_dossier
verifier "the desktop shows that picture" attendre 10 fond_affiche $((largeur / 2)) $((hauteur / 2))

verifier "a left click on the icon changes the wallpaper" changer xdotool mousemove "$icone_x" "$icone_y" click 1
deuxieme=$(fond)

verifier "--changer is taken by the running copy, which changes its wallpaper" changer wine "$exe" --changer
verifier "a second start ends by itself with 0" eval 'timeout 30 wine "$exe" >/dev/null 2>&1'
verifier "the first copy still runs" kill -0 "$premier"

# The tooltip, by OCR above the icon once the pointer rests on it: the picture's name, its folder below.
bulle() {
    xdotool mousemove $((icone_x - 3)) "$icone_y" mousemove "$icone_x" "$icone_y" && sleep 2
    import -window root -crop "400x70+$((largeur - 400))+$((hauteur - 90))" -resize 300% -colorspace Gray "$travail/bulle.png"
    xdotool mousemove 10 10
    tesseract "$travail/bulle.png" - -l fra --psm 6 2>/dev/null
}
verifier "the tooltip names the picture, its folder below" eval '[[ "$(bulle)" == *"$(couleur_du_fond).bmp"*mages* ]]'

# Back to the picture before the current one, then set aside: the rotation goes on without it.
wine "$exe" --precedent >/dev/null 2>&1
verifier "--precedent shows the picture before" attendre 10 eval '[ "$(fond)" = "$deuxieme" ]'
wine "$exe" --ne-plus-afficher >/dev/null 2>&1
verifier "--ne-plus-afficher shows another" attendre 10 eval '[ "$(fond)" != "$deuxieme" ]'
for _ in 1 2 3; do wine "$exe" --changer >/dev/null 2>&1 && sleep 1; done
verifier "the picture set aside is not drawn again" test "$(fond)" != "$deuxieme"

ouvrir_menu
verifier "the tray menu opens and reads Position" lire_menu Position
cliquer "${entree[Position]}" && sleep 1
verifier "the Position menu reads its five layouts and Un fond par écran" lire_menu Étirer Mosaïque Centrer Ajuster Remplissage écran
# Wine gives the menu no keyboard focus: a click elsewhere closes it.
xdotool mousemove 10 10 click 1

# An entry of the Position menu, once its submenu has covered the desktop there (slow on a loaded machine).
autre_pixel() { capture && [ "$(pixel $1 $2)" != "$3" ]; }
choisir() {
    local avant
    ouvrir_menu && capture && avant=$(pixel ${entree[$1]}) && cliquer "${entree[Position]}" &&
        attendre 5 autre_pixel ${entree[$1]} "$avant" && cliquer "${entree[$1]}"
}
# Menu entry, then WallpaperStyle and TileWallpaper as Windows reads them.
disposition() {
    wine reg add "$cle" /v WallpaperStyle /d 99 /f >/dev/null 2>&1
    choisir "$1"
    verifier "\"$1\" sets WallpaperStyle=$2 TileWallpaper=$3" attendre 10 paire "$2" "$3"
}
disposition Étirer 2 0
disposition Mosaïque 0 1
# Wine's desktop draws tiling and centring: the new layout shows at once, so the picture was applied again.
verifier "tiled, the picture reaches the corner" attendre 10 fond_affiche 5 5
disposition Centrer 0 0
verifier "centred, the corner shows no picture" attendre 10 eval '! fond_affiche 5 5'
disposition Ajuster 6 0
disposition Remplissage 10 0
# Kept on; the virtual desktop is one monitor, so one picture still shows on it. A click the menu missed is
# made again (the entry toggles: only while the file says off).
rotation() { "$@" "$WINEPREFIX"/drive_c/users/*/AppData/Local/papirol2/rotation.ini; }
for _ in 1 2 3; do rotation grep -qs '^parEcran=true' || { choisir écran && sleep 2; }; done
verifier "\"Un fond par écran\" is kept on" rotation grep -qs '^parEcran=true'

# Any write makes Qt rewrite the whole file: the folder's name must come back as it was.
wine "$exe" --desactiver >/dev/null 2>&1
verifier "the ini is written (rotation off)" attendre 10 grep -q '^active=false' "$ini"
verifier "the ini keeps the non-ASCII folder" grep -qF "path=${dossier_windows//\\/\\\\}" "$ini"
verifier "the wallpaper call kept it too" fond_du_dossier

# --quitter returns once the copy is gone.
wine "$exe" --quitter >/dev/null 2>&1
verifier "--quitter is taken (exit 0)" test $? = 0
verifier "and the copy ends with exit code 0" eval 'attendre 5 fini "$premier" && wait "$premier"'
wine "$exe" --changer >/dev/null 2>&1
verifier "--changer with no copy running exits with 1" test $? = 1

# Un fond par écran for real: Wine reads no RandR 1.5 monitor and its virtual desktop is one, but it takes two
# Xinerama heads of a plain X display as two monitors. A third picture: one of the first two is set aside.
wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
wineserver --kill && wineserver --wait
exec 4< <(exec Xephyr -displayfd 1 +xinerama -extension RANDR -screen 400x300 -screen 240x200 -noreset 2>/dev/null)
xephyr=$!
read -r -t 10 numero <&4 && exec 4<&- && export DISPLAY=":$numero"
convert -size 64x64 xc:#00ff00 "BMP3:$dossier/00ff00.bmp"
ecartee=$(basename "$(tr '\\' / <<<"$deuxieme")" .bmp)
# The picture spanned over the 640x300 virtual screen: at each head's centre a picture of the folder, not the one
# set aside, not the other head's; black below the shorter head.
etalee() {
    local f a b
    f=$(winepath -u "$(fond)" 2>/dev/null) && [[ "$f" == */ecrans-*.png ]] && [ "$(identify -format %wx%h "$f")" = 640x300 ] &&
        a=$(point "$f" 200 150) b=$(point "$f" 520 100) && [ "$a" != "$b" ] && [ "$(point "$f" 520 250)" = "#000000" ] &&
        for c in "$a" "$b"; do [[ "$c" =~ ^#(ff0000|0000ff|00ff00)$ && "$c" != "#$ecartee" ]] || return 1; done
}
wine "$exe" >/dev/null 2>&1 &
verifier "two heads: --changer draws a picture each" attendre 60 changer wine "$exe" --changer
verifier "spanned: WallpaperStyle=22 TileWallpaper=0" paire 22 0
verifier "the spanned picture holds each head's picture at its place and size" etalee
wine "$exe" --quitter >/dev/null 2>&1
rotation sed -i 's/^parEcran=true/parEcran=false/'
wine "$exe" >/dev/null 2>&1 &
verifier "turned off, one picture of the folder again" eval 'attendre 60 changer wine "$exe" --changer && fond_du_dossier'
verifier "in the layout's own style (Remplissage)" paire 10 0
wine "$exe" --quitter >/dev/null 2>&1
kill "$xephyr"
bilan
