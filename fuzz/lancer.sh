#!/bin/bash
# fuzz/lancer.sh BUILD SECONDS: builds the fuzz targets with clang and the sanitizers in BUILD, runs every
# regression input once, then each target for SECONDS from its seeds and what earlier runs found.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "$1") duree=$2
cibles=(reglages motif nomsfichiers rendu canal)
if [ ! -f "$build/build.ninja" ]; then
    drapeaux="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-sanitize=vptr"
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPAPIROL2_TESTS=OFF -DPAPIROL2_BENCH=OFF -DPAPIROL2_FUZZ=ON -DCMAKE_CXX_FLAGS="$drapeaux"
fi
cmake --build "$build" --target "${cibles[@]/#/fuzz_}"
fuzz/graines.sh "$build/graines"
export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
# The settings target writes a file per input: in memory, its fsync costs nothing.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
echoues=()
for cible in "${cibles[@]}"; do
    programme=$build/fuzz/fuzz_$cible
    echo "== $cible: regression inputs"
    "$programme" -timeout=10 "$PWD/fuzz/regressions/$cible"/*
    mkdir -p "$build/corpus/$cible"
    echo "== $cible: $duree s"
    if ! "$programme" -max_total_time="$duree" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$build/$cible-" "$build/corpus/$cible" "$build/graines/$cible" >"$build/$cible.log" 2>&1; then
        echoues+=("$cible")
    fi
    grep -E 'stat::number_of_executed_units|Test unit written' "$build/$cible.log"
done
# Last, so that a log showing only its end still shows what failed and the input that did it.
for cible in "${echoues[@]}"; do
    echo "== $cible FAILED"
    grep -A12 -E '^==[0-9]+==|runtime error|Test unit written' "$build/$cible.log" | head -40
    for entree in "$build/$cible"-*; do
        [ -f "$entree" ] && echo "$entree: $(head -c 256 "$entree" | base64 -w0)"
    done
done
[ ${#echoues[@]} -eq 0 ]
