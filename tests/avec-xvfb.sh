#!/bin/bash
# Runs one test on a private Xvfb display (and, with --trayer, a tray host on it), then tears both down.
set -u
exec 3< <(exec Xvfb -displayfd 1 -screen 0 "${PAPIROL2_XVFB_SCREEN:-640x480x24}" -nolisten tcp -noreset 2>/dev/null)
pids=("$!")
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null' EXIT
read -r -t 5 num <&3 && exec 3<&- || { echo "Xvfb did not start" >&2; exit 1; }
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
