#!/bin/bash
# Runs every benchmark in turn and prints their figures; a benchmark that cannot run is reported, the rest still run.
# Usage: bench/tout.sh <build dir>   (build the bench targets and papirol2 first)
set -u
ici=$(cd "$(dirname "$0")" && pwd)
construction=$(cd "${1:?usage: $0 <build dir>}" && pwd) || exit 1

echecs=()
# lancer <name> <command...>
lancer() {
    local nom="$1"
    shift
    echo "=== $nom"
    "$@"
    local rc=$?
    [ "$rc" = 0 ] || echecs+=("$nom (exit $rc)")
    echo
}
lancer chargerfichiers "$construction/bench/chargerfichiers"
lancer emplacements "$construction/bench/emplacements"
lancer iniencombre "$construction/bench/iniencombre"
lancer changerwallpaper "$construction/bench/changerwallpaper"
lancer bench-x11.sh bash "$ici/bench-x11.sh" "$construction"
lancer decodage xvfb-run -a -s "-screen 0 1920x1080x24" "$construction/bench/decodage"
lancer bench-sway.sh bash "$ici/bench-sway.sh" "$construction"
lancer bench-calque.sh bash "$ici/bench-calque.sh" "$construction"
lancer demarrage.sh bash "$ici/demarrage.sh" "$construction"
lancer veille.sh bash "$ici/veille.sh" "$construction"

if [ "${#echecs[@]}" -gt 0 ]; then
    echo "could not run: ${echecs[*]}" >&2
    exit 1
fi
