#!/bin/bash
# The tray icon over StatusNotifierItem, on X11: the program starts beside an XEmbed tray only, a StatusNotifier
# watcher and host come after, and the icon must move to them with its menu whole (sni.py), then come back to the
# XEmbed tray when they leave. Then, from the command line, the round after going back and a picture set aside;
# the tooltip read by OCR under XEmbed.
# Under avec-xvfb.sh --trayer and avec-dbus.sh. Usage: plateau-sni.sh <papirol2>
set -u
ici=$(dirname "$(realpath "$0")")
. "$ici/verifications.sh"
dossier=$(mktemp -d) && mkdir "$dossier/images" || exit 1
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$dossier"' EXIT
for c in red blue lime; do convert -size 64x48 "xc:$c" "$dossier/images/$c.jpg" || exit 1; done
printf '[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.jpg\nselected=true\n' \
    "$dossier/images" >"$dossier/Papirol2.ini"
cp "$dossier/Papirol2.ini" "$dossier/ecrit.ini"
programme=$(realpath "$1")
export PAPIROL2_BUREAU=x11
icone() { attendre 10 xdotool search --onlyvisible --class papirol2 >/dev/null; }
demarrer() { (cd "$dossier" && exec "$programme") & pid=$!; icone; }
p() { (cd "$dossier" && "$programme" "$@" 2>/dev/null); }
# Each change waited for: the command is taken at once, the picture comes after.
autre_que() { [ "$(p --courante)" != "$1" ]; }
changer() { local avant; avant=$(p --courante); p "$1" && attendre 10 autre_que "$avant"; }
# The tooltip's lines, by OCR once the pointer rests on the icon. Qt keeps one tooltip window, which may still be
# mapped from the last time: the icon is the other window.
fenetre() { for w in $(xdotool search --onlyvisible --class papirol2); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q ${1-} TOOLTIP && echo "$w"; done | head -n1 | grep .; }
infobulle() {
    eval "$(xdotool getwindowgeometry --shell "$(fenetre -v)")"
    xdotool mousemove $((X + 2)) $((Y + 2)) mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) && sleep 1
    attendre 3 fenetre >/dev/null && import -window "$(fenetre)" -resize 400% -colorspace gray "$dossier/bulle.png" \
        && tesseract "$dossier/bulle.png" - --psm 6 2>/dev/null | grep -v '^\s*$'
    xdotool mousemove 0 300
}
# Debian's StatusNotifier watcher, a GTK tray its host, judged through by sni.py; then they leave.
sni() {
    status-notifier-watcher >/dev/null 2>&1 &
    local watcher=$! rc
    attendre 10 gdbus introspect --session --dest org.kde.StatusNotifierWatcher --object-path / >/dev/null 2>&1
    gtk-sni-tray-standalone >/dev/null 2>&1 &
    "$ici/sni.py" "$@"
    rc=$?
    kill $! "$watcher" && icone && return "$rc"
}

demarrer || { echo "FAIL - no XEmbed icon at start"; exit 1; }
verifier "a start leaves Papirol2.ini as it was" cmp -s "$dossier/Papirol2.ini" "$dossier/ecrit.ini"
verifier "nothing shown: --courante, --precedent, --ne-plus-afficher exit 1" \
    test "$(p --courante; echo $?)$(p --precedent; echo $?)$(p --ne-plus-afficher; echo $?)" = 111
verifier "nothing shown: the tooltip is the program's name" test "$(infobulle)" = "Papirol 2"
verifier "the icon moves to a StatusNotifier host, then back to the XEmbed tray" \
    sni "$pid" "$XDG_CONFIG_HOME" "$dossier/images"

# A new copy starts a new round: four changes, three back, two more, and the round goes on from where it was,
# nothing repeated, nothing skipped.
p --quitter && wait "$pid"
demarrer
vues=() retour=() suite=()
for _ in 1 2 3 4; do changer --changer && vues+=("$(p --courante)"); done
# The folder's random letters are no job for OCR: its start and end are.
bulle=$(infobulle)
verifier "the tooltip names the picture, its folder below (read: ${bulle//$'\n'/ | })" \
    test "${bulle%%/tmp/*/images}" = "$(basename "${vues[3]}")"$'\n'
for _ in 1 2 3; do changer --precedent && retour+=("$(p --courante)"); done
verifier "Précédent shows the last three back" test "${retour[*]}" = "${vues[2]} ${vues[1]} ${vues[0]}"
for _ in 1 2; do changer --changer && suite+=("$(p --courante)"); done
verifier "the round goes on with the two not shown in it" \
    test "$(printf '%s\n' "${suite[@]}" "${vues[3]}" | sort -u | wc -l)" = 3

# Set aside: never drawn in 200 changes over the three; taken back through the menu, drawn again.
ecartee=$(p --courante)
changer --ne-plus-afficher
tirees=()
for _ in $(seq 200); do changer --changer && tirees+=("$(p --courante)"); done
verifier "200 changes, all shown (${#tirees[@]}), never the set-aside picture" \
    test "${#tirees[@]}" = 200 -a "$(printf '%s\n' "${tirees[@]}" | grep -cxF "$ecartee")" = 0
sni cliquer "$pid" "Images écartées/Tout reprendre"
for _ in 1 2 3 4; do changer --changer && [ "$(p --courante)" = "$ecartee" ] && break; done
verifier "taken back, it is drawn again" test "$(p --courante)" = "$ecartee"
p --quitter && wait "$pid"
bilan
