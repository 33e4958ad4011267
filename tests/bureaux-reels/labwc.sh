#!/bin/bash
# labwc, a wlroots compositor with no background of its own: our swaybg child draws it on the background layer,
# watched with grim. waybar, with only its tray module, is the StatusNotifier host (and its own watcher).
set -u
FAMILLE=labwc
MOTEUR=calque
COMMANDES=(labwc swaybg grim waybar gdbus python3)
HOTE_SNI=oui

bureau_demarrer() {
    export XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-l
    mkdir -p "$XDG_CONFIG_HOME/waybar"
    echo '{"layer": "top", "modules-right": ["tray"]}' >"$XDG_CONFIG_HOME/waybar/config"
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 lancer compositeur labwc
    until [ -S "$XDG_RUNTIME_DIR/wayland-l" ] || [ -S "$XDG_RUNTIME_DIR/wayland-0" ]; do sleep 0.1; done
    [ -S "$XDG_RUNTIME_DIR/wayland-l" ] || export WAYLAND_DISPLAY=wayland-0
    lancer bureau waybar
}
bureau_pret() {
    [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher 2>/dev/null)" = "(true,)" ]
}
NATIF=""
natif_appliquer() {
    [ -z "$NATIF" ] || kill "$NATIF"
    swaybg -i "$1" -m fill >>"$TRAVAIL/traces/natif.log" 2>&1 &
    NATIF=$!
    PIDS+=("$NATIF")
}
# The bar at the top, and the pointer that labwc draws into the picture it hands grim, are not the picture.
bureau_voir() { outil --ignorer 0,0,4000,40 --ignorer 0,0,160,160 --capture "grim -" --voir "${@:2}"; }

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
