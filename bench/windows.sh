#!/bin/bash
# Figures for the Windows build, printed, never asserted: the size of Papirol2.exe and what it links, then under
# Wine (run through tests/avec-wine.sh) the time from start to tray icon and the peak memory.
# With --installation first, also what a fresh machine pays: the Wine packages downloaded and unpacked, and
# the Windows build from an empty cache and build folder (no ccache). Several builds of Papirol2.exe are measured
# in turn in each round, so that the machine's load weighs on each alike.
# Usage: bench/windows.sh [--installation] [--essais N, 3] Papirol2.exe [Papirol2.exe…]
set -u
installation=0 essais=3
if [ "${1:-}" = "--installation" ]; then installation=1; shift; fi
if [ "${1:-}" = "--essais" ]; then essais="$2"; shift 2; fi
exes=()
for e in "$@"; do exes+=("$(realpath "$e")"); done
racine=$(cd "$(dirname "$0")/.." && pwd)
sudo=$([ "$(id -u)" = 0 ] || echo sudo)
depuis() { awk -v d="$1" -v f="$(date +%s.%N)" 'BEGIN { printf "%.2f", f - d }'; }

for exe in "${exes[@]}"; do
    octets=$(stat -c %s "$exe")
    echo "$exe: $octets bytes ($((octets / 1048576)) MiB)"
    echo "  imports: $(objdump -p "$exe" | awk '/DLL Name/ { printf "%s ", $3 }')"
done

if [ "$installation" = 1 ]; then
    archives=$(mktemp -d)
    debut=$(date +%s.%N)
    $sudo apt-get install -y -qq --reinstall --no-install-recommends -o Dir::Cache::archives="$archives" \
        wine wine64 libwine tesseract-ocr tesseract-ocr-fra >/dev/null 2>&1
    echo "Wine and OCR packages, downloaded and installed again: $(depuis "$debut") s"
    $sudo rm -rf "$archives"
    # In the clone, which is where a build in the Debian 13 root (see the Makefile) leaves its results.
    travail=$(mktemp -d "$racine/build-windows-neuf.XXXXXX")
    debut=$(date +%s.%N)
    make -C "$racine" --no-print-directory windows QT_WINDOWS="$travail/qt" BUILD_WINDOWS="$travail/build" \
        CMAKE_CXX_COMPILER_LAUNCHER= CCACHE_DISABLE=1 >/dev/null
    echo "make windows from nothing (Qt unpacked, then configured and built): $(depuis "$debut") s"
    if make -C "$racine" --no-print-directory test-windows QT_WINDOWS="$travail/qt" BUILD_WINDOWS="$travail/build" \
        CMAKE_CXX_COMPILER_LAUNCHER= CCACHE_DISABLE=1 >"$travail/tests.log" 2>&1; then
        resultat="passed"
    else
        resultat="FAILED"
    fi
    echo "make windows then make test-windows (tests built, run under Wine, $resultat): $(depuis "$debut") s"
    rm -rf "$travail"
fi

read -r largeur hauteur < <(xdotool getdisplaygeometry)
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "${largeur}x${hauteur}" /f >/dev/null 2>&1
wine explorer /desktop=shell,"${largeur}x${hauteur}" >/dev/null 2>&1 &
sleep 5
travail=$(mktemp -d)
dossier="$WINEPREFIX/drive_c/users/bench/images"
mkdir -p "$dossier"
for c in red green blue; do convert -size 640x480 "xc:$c" "BMP3:$dossier/$c.bmp"; done
printf '[Options]\nactive=true\ntimer=600\n\n[Emplacement_0]\npath=C:\\\\users\\\\bench\\\\images\nfiltre=*.bmp\nselected=true\n' \
    >"$travail/Papirol2.ini"
cd "$travail"

bande="120x24+$((largeur - 120))+$((hauteur - 24))"
icone() {
    import -window root -crop "$bande" "$travail/apres.png"
    [ "$(compare -metric AE "$travail/avant.png" "$travail/apres.png" null: 2>&1)" != 0 ]
}
for essai in $(seq "$essais"); do
    for exe in "${exes[@]}"; do
        import -window root -crop "$bande" "$travail/avant.png"
        debut=$(date +%s.%N)
        wine "$exe" >/dev/null 2>&1 &
        lanceur=$!
        for _ in $(seq 600); do icone && break; sleep 0.05; done
        echo "start to tray icon, run $essai$([ ${#exes[@]} = 1 ] || echo " of $exe"): $(depuis "$debut") s"
        sleep 3
        # Under Wine the Windows process is a Linux process: its peak resident size includes Wine's own DLLs.
        for pid in $(pgrep -f 'Papirol2\.exe'); do
            grep -q wine "/proc/$pid/maps" 2>/dev/null || continue
            hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
            [ -n "$hwm" ] && [ "$hwm" -gt 10000 ] && echo "  peak resident memory (VmHWM): $((hwm / 1024)) MiB"
        done
        wine taskkill /f /im Papirol2.exe >/dev/null 2>&1
        wait "$lanceur" 2>/dev/null
        sleep 2
    done
done
rm -rf "$travail"
