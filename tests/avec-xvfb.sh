#!/bin/bash
# Runs one test on a private Xvfb display (and, with --trayer, a tray host on it), then tears both down.
set -u
fd_file=$(mktemp)
exec 3<>"$fd_file"
Xvfb -displayfd 3 -screen 0 "${PAPIROL2_XVFB_SCREEN:-640x480x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
pids=("$!")
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.05; done
num=$(head -n1 "$fd_file" | tr -d '[:space:]')
exec 3>&-
rm -f "$fd_file"
[ -n "$num" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$num" DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP SWAYSOCK
if [ "${1:-}" = --trayer ]; then
    shift
    trayer --edge top --align right --widthtype pixel --width 200 --height 40 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    pids+=("$!")
    for _ in $(seq 100); do
        xprop -root _NET_SYSTEM_TRAY_S0 >/dev/null 2>&1 && xdotool search --class trayer >/dev/null 2>&1 && break
        sleep 0.05
    done
fi
"$@"
