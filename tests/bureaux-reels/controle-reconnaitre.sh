#!/bin/bash
# The pixel judge must tell the five layouts apart before its verdicts on real desktops mean anything:
# synthetic screens, drawn by ImageMagick, each must be recognised as its own layout and as no other.
set -u
reconnaitre=$(realpath "$1")
ici=$(dirname "$(realpath "$0")")
dossier=$(mktemp -d)
trap 'rm -rf "$dossier"' EXIT
cd "$dossier" || exit 1
. "$ici/images.sh"

echecs=0
verifier() { # <description> <expected "shown in" list> <reconnaitre arguments...>
    local description="$1" attendu="$2" vu
    shift 2
    vu=$("$reconnaitre" "$@" | sed -n 's/^shown in: \([^(]*\) (.*/\1/p' | sed 's/ *$//')
    if [ "$vu" = "$attendu" ]; then
        echo "ok   - $description: $vu"
    else
        echo "FAIL - $description: expected \"$attendu\", judged \"$vu\""
        echecs=$((echecs + 1))
    fi
}

image_quadrants A.png 1
image_quadrants B.png 2
fond=gray40
convert -size 320x240 "xc:$fond" A.png -gravity center -composite 1.png
convert -size 320x240 tile:A.png 2.png
convert -size 420x290 tile:A.png -crop 320x240+63+39 +repage 2-decale.png
convert A.png -resize '320x240!' 3.png
convert A.png -resize 320x240 -background "$fond" -gravity center -extent 320x240 4.png
convert A.png -resize '320x240^' -gravity center -extent 320x240 5.png

for n in 1 2 3 4 5; do
    verifier "layout $n recognised alone" "$n" "$n.png" A.png
    autre=$((n % 5 + 1))
    if "$reconnaitre" "$n.png" A.png "$autre" >/dev/null; then
        echo "FAIL - layout $n accepted as layout $autre"
        echecs=$((echecs + 1))
    fi
    verifier "layout $n of another picture" "none" "$n.png" B.png
done
verifier "tiling anchored elsewhere" "2" 2-decale.png A.png
# One pixel off, as desktops round differently.
convert -size 320x240 "xc:$fond" A.png -geometry +111+96 -composite 1-arrondi.png
verifier "centred, rounded the other way" "1" 1-arrondi.png A.png
convert -size 320x240 "xc:$fond" vide.png
verifier "background only" "none" vide.png A.png
convert 3.png -fill white -draw 'rectangle 0,0 319,27' barre.png
verifier "a bar over the picture" "none" barre.png A.png
verifier "a bar over the picture, ignored" "3" --ignorer 0,0,320,28 barre.png A.png
convert 1.png -fill "$(couleur_quadrant 1 1)" -draw 'rectangle 0,0 5,5' coin.png
verifier "a picture colour where the background should be" "none" coin.png A.png

# Captures compared with each other, for layouts a desktop draws its own way.
comparer() { # <description> <expected status> <reconnaitre arguments...>
    local description="$1" attendu="$2"
    shift 2
    "$reconnaitre" "$@" >/dev/null
    if [ $? = "$attendu" ]; then echo "ok   - $description"; else
        echo "FAIL - $description"
        echecs=$((echecs + 1))
    fi
}
comparer "a capture is like itself" 0 --comme 3.png 3.png
comparer "two layouts are unalike" 1 --comme 3.png 5.png
convert 3.png -fill white -draw 'point 200,200' point.png
comparer "one pixel makes a difference" 1 --comme 3.png point.png
comparer "not in an ignored area" 0 --ignorer 0,0,320,28 --comme 3.png barre.png

# Watching the screen itself: a window showing a capture must be seen, and only as that layout.
# shellcheck disable=SC2016 # expanded by the shell under xvfb-run
guetter='display -geometry +0+0 3.png & fenetre=$!
    "$1" --guetter 10 pret-3 A.png 3 | grep -q "^seen: [0-9]*$" && [ -e pret-3 ] &&
        ! "$1" --guetter 0 pret-5 A.png 5 >/dev/null && [ -e pret-5 ]
    vu=$?
    kill "$fenetre"
    wait "$fenetre"
    exit "$vu"'
if xvfb-run -a -s "-screen 0 320x240x24" bash -c "$guetter" guetter "$reconnaitre"; then echo "ok   - the screen watched"; else
    echo "FAIL - the screen watched"
    echecs=$((echecs + 1))
fi

[ "$echecs" = 0 ]
