#!/bin/bash
# Runs every benchmark in turn and prints their figures; a benchmark that cannot run is reported, the rest still run.
# With --court, small sizes and one round each, a few minutes in all: what CI runs, to see that every benchmark
# still runs and prints figures, not to read them. Fails when one ends badly or prints no figure; one that exits
# 77 could not run here, has said why, and is not counted as a failure.
# The Windows benchmark runs under Wine when $BUILD_WINDOWS (default build-windows) holds Papirol2.exe.
# Usage: bench/tout.sh <build dir> [--court]   (build the bench targets and papirol2 first)
set -u
ici=$(cd "$(dirname "$0")" && pwd)
racine=$(dirname "$ici")
construction=$(cd "${1:?usage: $0 <build dir> [--court]}" && pwd) || exit 1
court=0
[ "${2:-}" = --court ] && court=1
# choix <full> <short>: the argument for this mode (word splitting wanted by the callers).
choix() { if [ "$court" = 1 ]; then echo "$2"; else echo "$1"; fi; }

sortie=$(mktemp)
trap 'rm -f "$sortie"' EXIT
echecs=()
sautes=()
# lancer <name> <command...>
lancer() {
    local nom="$1" debut=$SECONDS
    shift
    echo "=== $nom"
    # Line-buffered, so that a run is followed as it goes and a crash loses nothing printed.
    stdbuf -oL "$@" | tee "$sortie"
    local rc=${PIPESTATUS[0]}
    if [ "$rc" = 77 ]; then
        sautes+=("$nom")
    elif [ "$rc" != 0 ]; then
        echecs+=("$nom (exit $rc)")
    elif ! grep -q '[0-9]' "$sortie"; then
        echecs+=("$nom (no figure printed)")
    fi
    echo "--- $nom: $((SECONDS - debut)) s"
    echo
}
# Word splitting wanted: choix gives the arguments of each mode.
# shellcheck disable=SC2046
{
    lancer chargerfichiers "$construction/bench/chargerfichiers" $(choix "" --court)
    lancer emplacements env TOURS="$(choix 3 1)" "$construction/bench/emplacements" $(choix "" "1000 10000")
    lancer iniencombre "$construction/bench/iniencombre" $(choix "" --court)
    lancer changerwallpaper "$construction/bench/changerwallpaper" $(choix "" --court)
    lancer bench-x11.sh bash "$ici/bench-x11.sh" "$construction" $(choix "" --court)
    lancer decodage xvfb-run -a -s "-screen 0 1920x1080x24" "$construction/bench/decodage" $(choix "" --court)
    lancer bench-sway.sh bash "$ici/bench-sway.sh" "$construction" $(choix "" 1)
    lancer bench-calque.sh bash "$ici/bench-calque.sh" "$construction" $(choix "" 1)
    lancer demarrage.sh bash "$ici/demarrage.sh" "$construction" $(choix 5 1)
    lancer commande.sh bash "$ici/commande.sh" "$construction" $(choix 15 2)
    lancer veille.sh bash "$ici/veille.sh" "$construction" $(choix "30 40" "3 5")
    fenetres="${BUILD_WINDOWS:-build-windows}"
    [ "${fenetres#/}" != "$fenetres" ] || fenetres="$racine/$fenetres"
    exe="$fenetres/src/app/Papirol2.exe"
    if [ -e "$exe" ] && command -v wine >/dev/null; then
        lancer windows.sh bash "$racine/tests/avec-wine.sh" bash "$ici/windows.sh" $(choix "" "--essais 1") "$exe"
    else
        lancer windows.sh bash -c "echo 'no $exe, or no wine: make bench-windows builds the one, installs the other' >&2; exit 77"
    fi
}

[ "${#sautes[@]}" -gt 0 ] && echo "could not run here (each said why): ${sautes[*]}"
if [ "${#echecs[@]}" -gt 0 ]; then
    echo "failed: ${echecs[*]}" >&2
    exit 1
fi
exit 0
