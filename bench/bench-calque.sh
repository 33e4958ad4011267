#!/bin/bash
# Times a filled 3840x2160 JPEG on a headless 640x480 layer-shell compositor (phoc, or sway with no
# background of its own), from the command's start to the picture on screen (polled with grim): our
# swaybg backend through appliquer, against starting `swaybg -o '*' -i <file> -m fill` by hand.
# Usage: bench/bench-calque.sh <build dir> [runs, 7] [phoc|sway-nu, phoc]
set -u
ici=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --dedans ]; then
    construction=$(cd "${1:?usage: $0 <build dir> [runs] [phoc|sway-nu]}" && pwd) || exit 1
    compositeur="${3:-phoc}"
    appli="$construction/tests/bureaux-reels/appliquer"
    [ -x "$appli" ] || appli="$construction/bench/appliquerbureau"
    [ -x "$appli" ] || { echo "no appliquer in $construction: build the appliquerbureau target first" >&2; exit 1; }
    for outil in "${compositeur%-nu}" swaybg grim convert od; do
        command -v "$outil" >/dev/null || { echo "$outil is missing" >&2; exit 77; }
    done
    # The compositor refuses root: its user must reach the tool and pictures, wherever the build is.
    travail=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-bench-calque.XXXXXX") || exit 1
    trap 'rm -rf "$travail"' EXIT
    chmod 755 "$travail"
    cp "$appli" "$travail/appliquer" && cp "$0" "$travail/bench-calque.sh" || exit 1
    # Photo-like, so that decoding costs what it would; a flat centre for the pixel check, in one of
    # two colours so that each change shows.
    convert -seed 7 -size 3840x2160 plasma:fractal -blur 0x1 -fill red -draw 'rectangle 1420,780 2420,1380' \
        -quality 90 "$travail/rouge.jpg" &&
        convert "$travail/rouge.jpg" -fill blue -draw 'rectangle 1420,780 2420,1380' -quality 90 \
            "$travail/bleu.jpg" || exit 1
    : >"$travail/commandes.log" && : >"$travail/main.pid"
    chmod -R a+rX "$travail" && chmod a+w "$travail/commandes.log" "$travail/main.pid"
    echo "on $compositeur"
    bash "$ici/../tests/avec-wayland.sh" "$compositeur" /bin/bash "$travail/bench-calque.sh" --dedans \
        "$travail" "${2:-7}"
    exit
fi

# ---------------------------------------------------------------- beside the compositor, as its user
travail="$2"
runs="$3"
delai_us=20000000
maintenant_us() { local t="$EPOCHREALTIME"; printf '%s' "${t/./}"; }

# The centre pixel of the screen, as "r g b".
centre() { grim -g "320,240 1x1" -t ppm - 2>/dev/null | tail -c 3 | od -An -tu1 | tr -s ' ' | sed 's/^ //'; }
proche() { # <"r g b"> <colour name>: within a JPEG's error of pure red or blue
    local -a c
    read -r -a c <<<"$1"
    [ "${#c[@]}" = 3 ] || return 1
    case "$2" in
        rouge) [ "${c[0]}" -gt 200 ] && [ "${c[1]}" -lt 60 ] && [ "${c[2]}" -lt 60 ] ;;
        bleu) [ "${c[0]}" -lt 60 ] && [ "${c[1]}" -lt 60 ] && [ "${c[2]}" -gt 200 ] ;;
    esac
}

# By hand, swaybg is left running to keep its picture; the one before it ends as the next starts.
swaybg_main() {
    kill "$(cat "$travail/main.pid")" 2>/dev/null
    swaybg -o '*' -i "$1" -m fill >>"$travail/commandes.log" 2>&1 &
    echo "$!" >"$travail/main.pid"
}
finir_main() { kill "$(cat "$travail/main.pid")" 2>/dev/null; }

commande=""
trap '[ -n "$commande" ] && kill "$commande" 2>/dev/null; finir_main; wait' EXIT
# Leaves in MESURE the ms from the command's start to the first grab showing the colour, and in
# FIN_MS when the command itself returned.
mesurer() { # <colour> <command...>
    local couleur="$1" debut prise fin
    shift
    debut=$(maintenant_us)
    "$@" >>"$travail/commandes.log" 2>&1 &
    commande=$!
    while :; do
        prise=$(maintenant_us)
        if proche "$(centre)" "$couleur"; then break; fi
        if [ "$((prise - debut))" -gt "$delai_us" ]; then
            echo "not shown after 20 s: $* (centre: $(centre))" >&2
            kill "$commande" 2>/dev/null
            wait "$commande"
            commande=""
            return 1
        fi
    done
    wait "$commande"
    local rc=$?
    fin=$(maintenant_us)
    commande=""
    [ "$rc" = 0 ] || { echo "exited with $rc: $*" >&2; return 1; }
    MESURE=$(((prise - debut) / 1000))
    FIN_MS=$(((fin - debut) / 1000))
}

mediane() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

appliquer() { PAPIROL2_BUREAU=calque "$travail/appliquer" "$@"; }
# phoc puts the newest background on top, sway the oldest: each command here ends the other side's
# last child first, so that every change shows.
nous() { finir_main; appliquer "$1"; }
main_() {
    local temoin
    read -r -a temoin <"$XDG_RUNTIME_DIR/papirol2/calque.pid" 2>/dev/null && kill "${temoin[0]}" 2>/dev/null
    swaybg_main "$1"
}

# The layout is stored once, untimed; the start picture makes the first timed change show.
appliquer --position 5 "$travail/bleu.jpg" >>"$travail/commandes.log" 2>&1 || { echo "appliquer failed" >&2; exit 1; }
mesurer bleu true || exit 1

t_nous=() f_nous=() t_main=()
for ((i = 0; i < runs; i++)); do
    # Alternating, each from the other's picture, so that both pay the same change.
    mesurer rouge nous "$travail/rouge.jpg" || exit 1
    t_nous+=("$MESURE") f_nous+=("$FIN_MS")
    mesurer bleu main_ "$travail/bleu.jpg" || exit 1
    t_main+=("$MESURE")
    mesurer rouge main_ "$travail/rouge.jpg" || exit 1
    t_main+=("$MESURE")
    mesurer bleu nous "$travail/bleu.jpg" || exit 1
    t_nous+=("$MESURE") f_nous+=("$FIN_MS")
done

printf '%-26s %6s %10s %12s %10s %10s\n' command runs "shown ms" "settled ms" "min shown" "max shown"
ligne() { # <name> <shown...> -- <settled...>
    local nom="$1"
    local -a vus=() finis=()
    shift
    while [ "$1" != -- ]; do vus+=("$1"); shift; done
    shift
    finis=("$@")
    printf '%-26s %6s %10s %12s %10s %10s\n' "$nom" "${#vus[@]}" "$(mediane "${vus[@]}")" \
        "${finis[0]:+$(mediane "${finis[@]}")}" "$(printf '%s\n' "${vus[@]}" | sort -n | head -n1)" \
        "$(printf '%s\n' "${vus[@]}" | sort -n | tail -n1)"
}
ligne "appliquer (swaybg child)" "${t_nous[@]}" -- "${f_nous[@]}"
ligne "swaybg by hand" "${t_main[@]}" --
echo "shown: median from the command's start to the first grim grab (~1 px, polled back to back) showing the"
echo "picture; settled: median time appliquer took to return, once the child drew and the one before it ended."
echo "Printed, never asserted."
