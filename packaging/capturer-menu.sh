#!/bin/bash
# Screenshot of the tray menu over a wallpaper the program set itself: capturer-menu.sh <papirol2> <out.png>.
# Runs on an X server with a tray host (tests/avec-xvfb.sh --trayer).
set -euo pipefail
programme=$(realpath "$1")
sortie=$(realpath "$2")

travail=$(mktemp -d)
pid=
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" || true; fi; rm -rf "$travail"' EXIT
mkdir "$travail/Images"
# Two pictures: the rotation draws from two or more.
convert -size 640x480 gradient:'#6fa8dc-#1c4587' "$travail/Images/ciel.jpg"
cp "$travail/Images/ciel.jpg" "$travail/Images/ciel2.jpg"
cat >"$travail/Papirol2.ini" <<FIN
[Options]
active=true
timer=300
[Emplacement_0]
path=$travail/Images
filtre=*.jpg
selected=true
FIN

cd "$travail"
mkdir -m 700 "$travail/run"
HOME=$travail XDG_CONFIG_HOME=$travail/.config XDG_RUNTIME_DIR=$travail/run PAPIROL2_BUREAU=x11 LANG=C.UTF-8 "$programme" &
pid=$!

attendre() {
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    echo "capturer-menu: timed out waiting for: $*" >&2
    return 1
}
# The icon is the program's window that is not top-level: the tray host holds it.
icone() {
    comm -23 <(xdotool search --onlyvisible --class papirol2 | sort) \
        <(xdotool search --onlyvisible --maxdepth 1 --class papirol2 | sort) | head -n1
}
fond_pose() { xprop -root _XROOTPMAP_ID | grep -q 'pixmap id'; }
icone_visible() { [ -n "$(icone)" ]; }
menu() {
    for id in $(xdotool search --onlyvisible --maxdepth 1 --class papirol2); do
        xwininfo -id "$id" | grep -q 'Override Redirect State: yes' && echo "$id" && return 0
    done
    return 1
}
attendre icone_visible
attendre fond_pose
xdotool mousemove --window "$(icone)" 11 19 click 3
attendre menu >/dev/null
# The menu paints after it maps.
sleep 0.5

geometrie() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {l=$NF} /Height:/ {h=$NF} END {print x, y, l, h}'
}
read -r mx my _ mh < <(geometrie "$(menu)")
read -r tx _ _ _ < <(geometrie "$(xdotool search --onlyvisible --class trayer | head -n1)")
read -r largeur < <(xwininfo -root | awk '/Width:/ {print $NF}')
# The screen's top-right corner in 16:9, wide and high enough for the tray host and the menu.
x=$(( (mx < tx ? mx : tx) - 24 ))
x=$(( x < 0 ? 0 : x ))
l=$(( largeur - x > 480 ? largeur - x : 480 ))
h=$(( my + mh + 24 > 270 ? my + mh + 24 : 270 ))
import -window root -crop "${l}x${h}+$((largeur - l))+0" +repage -strip "$sortie"
