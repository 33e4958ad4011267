#!/bin/bash
# The tray icon over StatusNotifierItem, on X11: the program starts beside an XEmbed tray only, a StatusNotifier
# watcher and host come after, and the icon must move to them with its menu whole, then come back to the XEmbed
# tray when they leave. The picture on screen, through both: named in the tooltip (read by OCR under XEmbed),
# gone back to, set aside, taken back, from the menu and the command line.
# Under avec-xvfb.sh --trayer and avec-dbus.sh. Usage: plateau-sni.sh <papirol2>
set -u
ici=$(dirname "$(realpath "$0")")
. "$ici/verifications.sh"
dossier=$(mktemp -d) || exit 1
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$dossier"' EXIT
mkdir "$dossier/images"
for c in red blue lime; do convert -size 64x48 "xc:$c" "$dossier/images/$c.jpg" || exit 1; done
printf '[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.jpg\nselected=true\n' \
    "$dossier/images" >"$dossier/Papirol2.ini"
cp "$dossier/Papirol2.ini" "$dossier/ecrit.ini"
programme=$(realpath "$1")
export PAPIROL2_BUREAU=x11
cd "$dossier" && exec "$programme" &
pid=$!
p() { (cd "$dossier" && "$programme" "$@" 2>/dev/null); }
icone() { attendre 10 xdotool search --onlyvisible --class papirol2 >/dev/null; }
# The tooltip's lines, by OCR once the pointer rests on the icon.
# Qt keeps one tooltip window, which may still be mapped from the last time: the icon is the other window, and
# the tooltip is read once Qt has had the time to put the new text in it.
fenetres() { for w in $(xdotool search --onlyvisible --class papirol2); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q ${1-} TOOLTIP && echo "$w"; done | head -n1; }
infobulle() {
    local i bulle
    i=$(fenetres -v) && eval "$(xdotool getwindowgeometry --shell "$i")"
    xdotool mousemove $((X + 2)) $((Y + 2)) mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    sleep 1
    for _ in $(seq 30); do
        bulle=$(fenetres)
        [ -n "$bulle" ] && break
        sleep 0.1
    done
    [ -n "$bulle" ] && import -window "$bulle" -resize 400% -colorspace gray "$dossier/bulle.png" \
        && tesseract "$dossier/bulle.png" - --psm 6 2>/dev/null | grep -v '^\s*$'
    xdotool mousemove 0 300
}
# Each change waited for: the command is taken at once, the picture comes after.
autre_que() { [ "$(p --courante)" != "$1" ]; }
changer() { local avant; avant=$(p --courante); p "$1" && attendre 10 autre_que "$avant"; }

icone || { echo "FAIL - no XEmbed icon at start"; exit 1; }
verifier "a start leaves Papirol2.ini as it was" cmp -s "$dossier/Papirol2.ini" "$dossier/ecrit.ini"
verifier "nothing shown: --courante, --precedent, --ne-plus-afficher exit 1" \
    test "$(p --courante; echo $?)$(p --precedent; echo $?)$(p --ne-plus-afficher; echo $?)" = 111
verifier "nothing shown: the tooltip is the program's name" test "$(infobulle)" = "Papirol 2"

"$ici/sni.py" hote &
hote=$!
"$ici/sni.py" verifier "$pid" "$XDG_CONFIG_HOME" "$dossier/images" || exit 1
kill "$hote"
icone || { echo "FAIL - the icon did not come back to XEmbed"; exit 1; }
echo "ok   - the icon came back to the XEmbed tray"

# A new copy starts a new round: four changes, three back, two more, and the round goes on from where it was,
# nothing repeated, nothing skipped.
p --quitter && wait "$pid"
cd "$dossier" && exec "$programme" &
pid=$!
icone
vues=()
for _ in 1 2 3 4; do changer --changer && vues+=("$(p --courante)"); done
# The folder's random letters are no job for OCR: its start and end are.
bulle=$(infobulle)
verifier "the tooltip names the picture, its folder below (read: ${bulle//$'\n'/ | })" \
    test "${bulle%%/tmp/*/images}" = "$(basename "${vues[3]}")"$'\n'""
retour=()
for _ in 1 2 3; do changer --precedent && retour+=("$(p --courante)"); done
verifier "Précédent shows the last three back" test "${retour[*]}" = "${vues[2]} ${vues[1]} ${vues[0]}"
suite=()
for _ in 1 2; do changer --changer && suite+=("$(p --courante)"); done
verifier "the round goes on with the two not shown in it" \
    test "$(printf '%s\n' "${suite[@]}" "${vues[3]}" | sort -u | wc -l)" = 3

# Set aside: never drawn in 200 changes over the three; taken back through the menu, drawn again.
ecartee=$(p --courante)
changer --ne-plus-afficher
tirees=()
for _ in $(seq 200); do changer --changer && tirees+=("$(p --courante)"); done
revues=$(printf '%s\n' "${tirees[@]}" | grep -cxF "$ecartee")
verifier "200 changes, all shown (${#tirees[@]}), never the set-aside picture ($revues times)" \
    test "${#tirees[@]}" = 200 -a "$revues" = 0
"$ici/sni.py" hote &
hote=$!
"$ici/sni.py" cliquer "$pid" "Images écartées/Tout reprendre"
kill "$hote"
icone
for _ in 1 2 3 4; do changer --changer && [ "$(p --courante)" = "$ecartee" ] && break; done
verifier "taken back, it is drawn again" test "$(p --courante)" = "$ecartee"
p --quitter && wait "$pid"
bilan
