#!/bin/bash
# Runs the real-desktops suite of a build configured with PAPIROL2_TESTS_BUREAUX=ON, then prints its table.
set -u
build="$1"
tableau="$build/tests/bureaux-reels/tableau.tsv"
rm -f "$tableau"
debut=$SECONDS
# A desktop that fails to come up once right after its install gets a second start; a fault in us fails both.
ctest --test-dir "$build" -L bureaux-reels --output-on-failure --repeat until-pass:2
rc=$?

ligne() { printf '%-7s %-12s %-9s %-9s %-9s %9s %9s %9s\n' "$@"; }
echo
ligne desktop layouts hostile newline missing "start ms" "ours ms" "own ms"
if [ -f "$tableau" ]; then
    while IFS=$'\t' read -r famille dispositions hostile nouvelle_ligne absent demarrage outil natif; do
        case "$dispositions" in
            SKIP:* | FAIL:*) printf '%-7s %s\n' "$famille" "$dispositions" ;;
            *) ligne "$famille" "$dispositions" "$hostile" "$nouvelle_ligne" "$absent" "$demarrage" "$outil" "$natif" ;;
        esac
    done <"$tableau"
fi
cat <<'LEGENDE'
layouts: those shown as expected (1 centred, 2 tiled, 3 stretched, 4 fitted, 5 filled); n*: a layout the desktop
  draws its own way here, held to the screen its own tool gives. newline n/a: its own tool cannot either.
start: desktop start to its first picture (by `import` captures, to about 0.2 s). ours: `appliquer` start to
  the picture on screen; own: the same for the desktop's own tool; medians of 3, grabs every ~10 ms.
  Printed, never asserted.
LEGENDE
echo "suite: $((SECONDS - debut)) s"
exit "$rc"
