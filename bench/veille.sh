#!/bin/bash
# Wake-ups of an idle papirol2: rotation on, 10-minute interval, a valid picture folder, on a private
# Xvfb with a tray host. Once settled, traces its system calls over a window (the goal is none) and
# tells which thread made each, so that a wake-up can be traced to its source.
# Usage: bench/veille.sh <build dir> [seconds counted, 30] [seconds to settle first, 40]
set -u
ici=$(cd "$(dirname "$0")" && pwd)
racine=$(dirname "$ici")

if [ "${VEILLE_DEDANS:-}" != 1 ]; then
    construction=$(cd "${1:?usage: $0 <build dir> [seconds] [settle seconds]}" && pwd) || exit 1
    [ -x "$construction/src/app/papirol2" ] || { echo "no $construction/src/app/papirol2: build it first" >&2; exit 1; }
    for outil in Xvfb trayer xwininfo xprop xdotool strace; do
        command -v "$outil" >/dev/null || { echo "$outil is missing" >&2; exit 77; }
    done
    VEILLE_DEDANS=1 exec "$racine/tests/avec-xvfb.sh" --trayer "$0" "$construction" "${2:-30}" "${3:-40}"
fi

construction="$1"
duree="$2"
repos="$3"
travail=$(mktemp -d)
pid=""
espion=""
nettoyer() {
    if [ -n "$espion" ]; then
        kill -INT "$espion" 2>/dev/null
        wait "$espion" 2>/dev/null
    fi
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf "$travail"
}
trap nettoyer EXIT

mkdir -p "$travail/images" "$travail/config"
mkdir -m 700 "$travail/run"
for couleur in red green blue; do
    convert -size 640x480 "xc:$couleur" "$travail/images/$couleur.jpg"
done
printf '[Options]\nactive=true\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.jpg\nselected=true\n' \
    "$travail/images" >"$travail/Papirol2.ini"

(cd "$travail" && XDG_CONFIG_HOME="$travail/config" XDG_RUNTIME_DIR="$travail/run" PAPIROL2_BUREAU=x11 \
    exec "$construction/src/app/papirol2") >/dev/null 2>&1 &
pid=$!

for _ in $(seq 200); do
    xwininfo -root -tree | grep -q '("papirol2" "papirol2")' && break
    sleep 0.05
done
# Past start-up, the first picture and the idle expiry of worker threads (30 s in Qt).
echo "papirol2 (pid $pid) started; settling for $repos s"
sleep "$repos"
kill -0 "$pid" 2>/dev/null || { echo "papirol2 ended early" >&2; pid=""; exit 1; }

noms="$travail/threads.txt"
for t in /proc/"$pid"/task/*; do
    # Names may hold spaces ("Thread (pooled)"): one word each for awk.
    printf '%s %s\n' "${t##*/}" "$(tr ' ' '_' <"$t/comm")"
done >"$noms"
echo "threads (tid name):"
sed 's/^/  /' "$noms"

# One trace over the whole window gives both the count and which thread made each call.
trace="$travail/trace.txt"
strace -f -tt -p "$pid" -o "$trace" 2>/dev/null &
espion=$!
sleep "$duree"
kill -INT "$espion" 2>/dev/null
wait "$espion" 2>/dev/null
espion=""

# Kept: one line per call made. Left out: the second half of calls that blocked ("<... resumed>"),
# exits and signals ("+++", "---"), and the restart_syscall that attaching forces on each blocked thread.
appels="$travail/appels.txt"
awk '$3 ~ /^(<|\+\+\+|---)/ { next }
     !vu[$1]++ && $3 ~ /^restart_syscall\(/ { next }
     { print }' "$trace" >"$appels"
total=$(wc -l <"$appels")
echo
echo "system calls over $duree s of idling: $total"
if [ "$total" -gt 0 ]; then
    echo "per thread and system call (count tid name call):"
    awk 'NR == FNR { nom[$1] = $2; next }
         { split($3, a, "("); n[$1 " " (($1 in nom) ? nom[$1] : "?") " " a[1]]++ }
         END { for (k in n) printf "  %5d %s\n", n[k], k }' "$noms" "$appels" | sort -rn
    echo "first calls:"
    head -n 30 "$appels" | cut -c1-160
fi
