#!/bin/bash
# Start-up cost on a private Xvfb with a tray host: time from launch to the tray icon shown, and peak
# resident memory (VmHWM) once settled, for papirol2 with 10,000 and 100,000 candidate files, and with 10,000
# on a session bus that never answers, beside a Qt 6 program that only shows a tray icon. Medians of several
# runs; nothing is asserted.
# Usage: bench/demarrage.sh <build dir> [runs] [other papirol2]   (needs the papirol2 and plateauminimal
# targets; another build of papirol2, an earlier one say, is measured in the same rounds at 100,000 files)
set -u
ici=$(cd "$(dirname "$0")" && pwd)
racine=$(dirname "$ici")

if [ "${DEMARRAGE_DEDANS:-}" != 1 ]; then
    construction=$(cd "${1:?usage: $0 <build dir> [runs]}" && pwd) || exit 1
    for programme in "$construction/src/app/papirol2" "$construction/bench/plateauminimal"; do
        [ -x "$programme" ] || { echo "no $programme: build it first" >&2; exit 1; }
    done
    for outil in Xvfb trayer xwininfo xprop xdotool; do
        command -v "$outil" >/dev/null || { echo "$outil is missing" >&2; exit 77; }
    done
    # The X server and the tray host come from the tests' wrapper, which also tears them down.
    DEMARRAGE_DEDANS=1 exec "$racine/tests/avec-xvfb.sh" --trayer "$0" "$construction" "${2:-5}" "${3:-}"
fi

construction="$1"
tours="$2"
autre="${3:-}"
travail=$(mktemp -d)
pid=""
nettoyer() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf "$travail"
}
trap nettoyer EXIT

panneau=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ { print $1; exit }')
[ -n "$panneau" ] || { echo "the tray host's panel was not found" >&2; exit 1; }

# True once a window of class $1 sits in the tray, mapped.
icone_visible() {
    local id
    for id in $(xwininfo -id "$panneau" -tree | awk -v c="(\"$1\" " 'index($0, c) { print $1 }'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable' && return 0
    done
    return 1
}

mediane() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# mesurer <class> <working dir> <program>: one run; sets temps_ms and pic_ko.
mesurer() {
    local classe="$1" dossier="$2" programme="$3" t0 t1
    t0=$(date +%s%N)
    (cd "$dossier" && exec "$programme") >/dev/null 2>&1 &
    pid=$!
    until icone_visible "$classe"; do
        if ! kill -0 "$pid" 2>/dev/null || [ $(($(date +%s%N) - t0)) -gt 30000000000 ]; then
            echo "$programme: no icon in the tray after 30 s, or it ended" >&2
            return 1
        fi
    done
    t1=$(date +%s%N)
    # Settled: whatever start-up allocates transiently has been allocated.
    sleep 1.5
    temps_ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e6 }')
    pic_ko=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null
    pid=""
    while icone_visible "$classe"; do sleep 0.05; done
}

# A folder of empty files named like pictures: the program lists them and, rotation off, decodes none.
candidats() {
    mkdir -p "$travail/$1/images"
    seq -f "$travail/$1/images/photo-%06g.jpg" 1 "$2" | xargs touch
    printf '[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.jpg\nselected=true\n' \
        "$travail/$1/images" >"$travail/$1/Papirol2.ini"
}

export XDG_CONFIG_HOME="$travail/config" XDG_RUNTIME_DIR="$travail/run" PAPIROL2_BUREAU=x11
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$travail/minimal"
candidats f10k 10000
candidats f100k 100000
# A session bus that takes connections and never answers, as a wedged daemon does.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(64); time.sleep(1e6)' "$travail/bus-muet" &
muet=$!
trap 'kill $muet 2>/dev/null; nettoyer' EXIT
printf '#!/bin/sh\nDBUS_SESSION_BUS_ADDRESS=unix:path=%s exec %s\n' "$travail/bus-muet" \
    "$construction/src/app/papirol2" >"$travail/papirol2-bus-muet"
chmod +x "$travail/papirol2-bus-muet"

labels=("Qt 6 tray icon only" "papirol2, 10,000 files" "papirol2, 100,000 files" "papirol2, 10k, bus mute")
classes=(plateauminimal papirol2 papirol2 papirol2)
dossiers=("$travail/minimal" "$travail/f10k" "$travail/f100k" "$travail/f10k")
programmes=("$construction/bench/plateauminimal" "$construction/src/app/papirol2" "$construction/src/app/papirol2"
    "$travail/papirol2-bus-muet")
if [ -n "$autre" ]; then
    labels+=("other papirol2, 100k")
    classes+=(papirol2)
    dossiers+=("$travail/f100k")
    programmes+=("$autre")
fi
temps=()
pics=()
# Rounds take the programs in turn, so that a busy moment of the machine weighs on all of them alike;
# round 0 only warms the file cache.
for tour in $(seq 0 "$tours"); do
    for i in "${!labels[@]}"; do
        mesurer "${classes[$i]}" "${dossiers[$i]}" "${programmes[$i]}" || exit 1
        if [ "$tour" -gt 0 ]; then
            temps[i]+="$temps_ms "
            pics[i]+="$pic_ko "
        fi
    done
done

echo "Start to tray icon shown, and peak resident memory once settled (median of $tours runs; Xvfb + trayer)"
printf '%-26s %10s %10s   %s\n' "program" "start ms" "VmHWM MiB" "runs: ms / KiB"
for i in "${!labels[@]}"; do
    # Word splitting wanted: one value per run.
    # shellcheck disable=SC2086
    printf '%-26s %10s %10s   %s/ %s\n' "${labels[$i]}" "$(mediane ${temps[$i]})" \
        "$(awk -v k="$(mediane ${pics[$i]})" 'BEGIN { printf "%.1f", k / 1024 }')" "${temps[$i]}" "${pics[$i]}"
done
