#!/bin/bash
# Times a filled 3840x2160 JPEG on a headless sway (one 640x480 output unless told), from the command's
# start to the picture on screen (polled with grim): our backend from a tick of a running process
# (bench/montrer, the backend made beforehand), and through appliquer, a process started for it; against
# `swaymsg output '*' bg <file> fill`.
# Usage: bench/bench-sway.sh <build dir> [runs, 7] [output size, 640x480]
# (appliquer from tests/bureaux-reels if that build has it, else bench/appliquerbureau)
set -u
ici=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --dedans ]; then
    construction=$(cd "${1:?usage: $0 <build dir> [runs]}" && pwd) || exit 1
    appli="$construction/tests/bureaux-reels/appliquer"
    [ -x "$appli" ] || appli="$construction/bench/appliquerbureau"
    [ -x "$appli" ] || { echo "no appliquer in $construction: build the appliquerbureau target first" >&2; exit 1; }
    [ -x "$construction/bench/montrer" ] || { echo "no $construction/bench/montrer: build it first" >&2; exit 1; }
    for outil in sway swaybg swaymsg grim convert od; do
        command -v "$outil" >/dev/null || { echo "$outil is missing" >&2; exit 77; }
    done
    # sway refuses root: its user must reach the tool and pictures, wherever the build is.
    travail=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-bench-sway.XXXXXX") || exit 1
    trap 'rm -rf "$travail"' EXIT
    chmod 755 "$travail"
    cp "$appli" "$travail/appliquer" && cp "$construction/bench/montrer" "$travail/montrer" &&
        cp "$0" "$travail/bench-sway.sh" || exit 1
    # Photo-like, so that decoding costs what it would; a flat centre for the pixel check, in one of
    # two colours so that each change shows.
    convert -seed 7 -size 3840x2160 plasma:fractal -blur 0x1 -fill red -draw 'rectangle 1420,780 2420,1380' \
        -quality 90 "$travail/rouge.jpg" &&
        convert "$travail/rouge.jpg" -fill blue -draw 'rectangle 1420,780 2420,1380' -quality 90 \
            "$travail/bleu.jpg" || exit 1
    : >"$travail/commandes.log"
    mkfifo "$travail/vers-montrer" "$travail/de-montrer" || exit 1
    chmod -R a+rX "$travail" && chmod a+w "$travail/commandes.log" "$travail/vers-montrer" "$travail/de-montrer"
    bash "$ici/../tests/avec-wayland.sh" sway /bin/bash "$travail/bench-sway.sh" --dedans "$travail" "${2:-7}" "${3:-640x480}"
    exit
fi

# ---------------------------------------------------------------- beside sway, as its user
travail="$2"
runs="$3"
taille="$4"
swaymsg output '*' mode "$taille" >/dev/null || { echo "sway refused the size $taille" >&2; exit 1; }
delai_us=10000000
maintenant_us() { local t="$EPOCHREALTIME"; printf '%s' "${t/./}"; }

# The centre pixel of the screen, as "r g b".
centre() { grim -g "$((${taille%x*} / 2)),$((${taille#*x} / 2)) 1x1" -t ppm - 2>/dev/null | tail -c 3 | od -An -tu1 | tr -s ' ' | sed 's/^ //'; }
proche() { # <"r g b"> <colour name>: within a JPEG's error of pure red or blue
    local -a c
    read -r -a c <<<"$1"
    [ "${#c[@]}" = 3 ] || return 1
    case "$2" in
        rouge) [ "${c[0]}" -gt 200 ] && [ "${c[1]}" -lt 60 ] && [ "${c[2]}" -lt 60 ] ;;
        bleu) [ "${c[0]}" -lt 60 ] && [ "${c[1]}" -lt 60 ] && [ "${c[2]}" -gt 200 ] ;;
    esac
}

commande=""
trap 'exec 5>&-; [ -n "$commande" ] && kill "$commande" 2>/dev/null; wait' EXIT
# Leaves in MESURE the ms from the command's start to the first grab showing the colour, and in
# FIN_MS when the command itself returned.
mesurer() { # <colour> <command...>
    local couleur="$1" debut fin="" prise
    shift
    debut=$(maintenant_us)
    "$@" >>"$travail/commandes.log" 2>&1 &
    commande=$!
    while :; do
        prise=$(maintenant_us)
        if proche "$(centre)" "$couleur"; then break; fi
        if [ "$((prise - debut))" -gt "$delai_us" ]; then
            echo "not shown after 10 s: $* (centre: $(centre))" >&2
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

appliquer() { PAPIROL2_BUREAU=sway "$travail/appliquer" "$@"; }
swaymsg_bg() { swaymsg output '*' bg "$1" fill; }
# The running program's tick: one line to bench/montrer, which answers once sway has.
tic() {
    local reponse
    echo "$1" >&5 && read -r -u 6 reponse && [ "$reponse" = ok ]
}

# The layout is stored once, untimed; the start picture makes the first timed change show.
appliquer --position 5 "$travail/bleu.jpg" >>"$travail/commandes.log" 2>&1 || { echo "appliquer failed" >&2; exit 1; }
mesurer bleu true || exit 1
PAPIROL2_BUREAU=sway QT_QPA_PLATFORM=offscreen "$travail/montrer" <"$travail/vers-montrer" >"$travail/de-montrer" \
    2>>"$travail/commandes.log" &
exec 5>"$travail/vers-montrer" 6<"$travail/de-montrer"
read -r -u 6 pret && [ "$pret" = ready ] || { echo "montrer did not start" >&2; exit 1; }

t_tic=() f_tic=() t_nous=() f_nous=() t_sway=() f_sway=()
for ((i = 0; i < runs; i++)); do
    # Alternating, each from another's picture, so that all pay the same change.
    mesurer rouge tic "$travail/rouge.jpg" || exit 1
    t_tic+=("$MESURE") f_tic+=("$FIN_MS")
    mesurer bleu swaymsg_bg "$travail/bleu.jpg" || exit 1
    t_sway+=("$MESURE") f_sway+=("$FIN_MS")
    mesurer rouge appliquer "$travail/rouge.jpg" || exit 1
    t_nous+=("$MESURE") f_nous+=("$FIN_MS")
    mesurer bleu tic "$travail/bleu.jpg" || exit 1
    t_tic+=("$MESURE") f_tic+=("$FIN_MS")
    mesurer rouge swaymsg_bg "$travail/rouge.jpg" || exit 1
    t_sway+=("$MESURE") f_sway+=("$FIN_MS")
    mesurer bleu appliquer "$travail/bleu.jpg" || exit 1
    t_nous+=("$MESURE") f_nous+=("$FIN_MS")
done
exec 5>&-

printf '%-22s %6s %12s %12s %10s %10s\n' command runs "shown ms" "returned ms" "min shown" "max shown"
ligne() { # <name> <shown...> -- <returned...>
    local nom="$1"
    local -a vus=() finis=()
    shift
    while [ "$1" != -- ]; do vus+=("$1"); shift; done
    shift
    finis=("$@")
    printf '%-22s %6s %12s %12s %10s %10s\n' "$nom" "${#vus[@]}" "$(mediane "${vus[@]}")" "$(mediane "${finis[@]}")" \
        "$(printf '%s\n' "${vus[@]}" | sort -n | head -n1)" "$(printf '%s\n' "${vus[@]}" | sort -n | tail -n1)"
}
ligne "tick (sway backend)" "${t_tic[@]}" -- "${f_tic[@]}"
ligne "appliquer (sway)" "${t_nous[@]}" -- "${f_nous[@]}"
ligne "swaymsg bg fill" "${t_sway[@]}" -- "${f_sway[@]}"
awk -v a="$(mediane "${t_tic[@]}")" -v b="$(mediane "${t_sway[@]}")" \
    -v t="$taille" 'BEGIN { printf "tick to shown, one %s output: %.2fx swaymsg (target: at most 1.1x)\n", t, a / b }'
echo "shown: median from the command's start to the first grim grab (~1 px, polled back to back) showing the"
echo "picture; returned: median time the command took to exit. Printed, never asserted."
