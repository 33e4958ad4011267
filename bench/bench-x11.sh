#!/bin/bash
# Times setting a filled 3840x2160 JPEG on a private Xvfb, appliquerx11 against two common setters: on one 1920x1080
# monitor, then on two side by side (RandR monitors on a 3840x1080 root), where one picture for all is also timed
# against one per monitor, in turns.
# Usage: bench/bench-x11.sh [build dir] [--court]   (the build dir must hold bench/appliquerx11)
# --court: a 1920x1080 picture and two runs each, to see that it runs.
set -eu
construction="${1:-$(dirname "$0")/../build}"
taille=3840x2160 prechauffe=5 runs=40
[ "${2:-}" = --court ] && taille=1920x1080 prechauffe=0 runs=2
appli="$construction/bench/appliquerx11"
if [ ! -x "$appli" ]; then
    echo "no $appli: build the appliquerx11 target first" >&2
    exit 1
fi
for outil in Xvfb xrandr hyperfine xwallpaper feh convert; do
    command -v "$outil" >/dev/null || { echo "$outil is missing" >&2; exit 77; }
done

travail=$(mktemp -d)
xvfb=""
nettoyer() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$travail"
}
trap nettoyer EXIT

image="$travail/image.jpg"
# Photo-like content: a flat picture would make every decoder look fast.
convert -seed 7 -size "$taille" plasma:fractal -blur 0x1 -quality 90 "$image"

# appliquerx11 records the last picture: keep that away from the user's own store.
export XDG_CONFIG_HOME="$travail/config"

# mesurer <title> <root size> [monitor geometry...]: one server per case, the setters timed on it.
mesurer() {
    local titre="$1" racine="$2"
    shift 2
    local fd_file="$travail/display"
    : >"$fd_file"
    exec 3<>"$fd_file"
    Xvfb -displayfd 3 -screen 0 "${racine}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.05
    done
    exec 3>&-
    local num
    num=$(head -n1 "$fd_file" | tr -d '[:space:]')
    [ -n "$num" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$num"
    # The first monitor takes the server's only output; the others have none.
    local rang=0 sortie=screen
    for moniteur in "$@"; do
        xrandr --setmonitor "m$rang" "$moniteur" "$sortie" >/dev/null
        rang=$((rang + 1))
        sortie=none
    done

    echo "== $titre"
    hyperfine -N --warmup "$prechauffe" --runs "$runs" --export-csv "$travail/resultats.csv" \
        -n appliquerx11 "$appli $image 5" \
        -n xwallpaper "xwallpaper --zoom $image" \
        -n feh "feh --no-fehbg --bg-fill $image"
    echo
    # Columns: command,mean,stddev,median,user,system,min,max (seconds). The machine may be shared: the median
    # and the CPU time (user + system) of the client move less with other load than the mean.
    awk -F, 'NR > 1 {
                 nom[NR] = $1; moy[NR] = $2 * 1000; med[NR] = $4 * 1000; cpu[NR] = ($5 + $6) * 1000
                 min[NR] = $7 * 1000
                 if ($1 == "xwallpaper") { refMed = med[NR]; refCpu = cpu[NR] }
             }
             END {
                 printf "%-14s %9s %9s %9s %9s %14s %14s\n", "command", "mean ms", "median ms", "min ms", "cpu ms",
                        "median/xwp", "cpu/xwp"
                 for (i = 2; i <= NR; i++)
                     printf "%-14s %9.1f %9.1f %9.1f %9.1f %14.2f %14.2f\n", nom[i], moy[i], med[i], min[i],
                            cpu[i], med[i] / refMed, cpu[i] / refCpu
             }' "$travail/resultats.csv"
    echo
    if [ $# -gt 1 ]; then
        # One picture for all against one per monitor, in turns, timed inside appliquerx11 (start-up left out).
        convert -seed 8 -size "$taille" plasma:fractal -blur 0x1 -quality 90 "$travail/autre.jpg"
        for _ in $(seq "$runs"); do
            echo "une $("$appli" "$image" 5 2>/dev/null)"
            echo "parecran $("$appli" "$image" 5 "$travail/autre.jpg" 2>/dev/null)"
        done | sort -k1,1 -k2,2n | awk '{ v[$1] = v[$1] " " $2; n[$1]++ }
             END { for (m in v) { split(substr(v[m], 2), t, " "); printf "%-9s apply median %.1f ms over %d\n", m, t[int((n[m] + 1) / 2)], n[m] } }'
        echo
    fi
    kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
    xvfb=""
}

mesurer "one 1920x1080 monitor" 1920x1080
mesurer "two 1920x1080 monitors side by side" 3840x1080 1920/508x1080/286+0+0 1920/508x1080/286+1920+0
