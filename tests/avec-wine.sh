#!/bin/bash
# Runs a command with Wine ready: a private Wine prefix, on a private Xvfb display, torn down afterwards.
# Nested calls (ctest's tests under `avec-wine.sh ctest ...`) reuse the outer prefix and display.
# With --qtest, the command is a QtTest program for Windows: it runs under wine, and its report, which Wine
# loses on a redirected stdout, goes through a file.
set -u
if [ -z "${PAPIROL2_WINE:-}" ]; then
    export PAPIROL2_XVFB_SCREEN="${PAPIROL2_XVFB_SCREEN:-1024x768x24}"
    prefixe=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-wine.XXXXXX") && trap 'rm -rf "$prefixe"' EXIT
    PAPIROL2_WINE="$prefixe" "$(dirname "$0")/avec-xvfb.sh" "$0" "$@"
    exit
fi
# No Mono or Gecko prompt: the program needs neither.
export WINEPREFIX="$PAPIROL2_WINE" WINEDEBUG="${WINEDEBUG:--all}" WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -e "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 && wineserver --wait || { echo "wineboot failed" >&2; exit 1; }
    # The display goes away after this command: so must the Wine session that uses it.
    trap 'wineserver --kill 2>/dev/null; wineserver --wait 2>/dev/null' EXIT
fi
[ "${1:-}" = --qtest ] || { "$@"; exit; }
rapport=$(mktemp "${TMPDIR:-/tmp}/papirol2-qtest.XXXXXX")
wine "${@:2}" -o "$rapport,txt" </dev/null >/dev/null 2>&1
rc=$?
cat "$rapport" && rm -f "$rapport"
exit $rc
