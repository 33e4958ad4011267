#!/bin/bash
# GNOME: gnome-shell draws the desktop from org.gnome.desktop.background (file URIs).
# It runs here only with no login manager in sight (a tmpfs over /run/systemd), a system bus of its own,
# GLX on the X server, and an Escape to leave the overview it starts in.
set -u
FAMILLE=gnome
COMMANDES=(gnome-shell gsettings xdotool dbus-daemon)
XVFB_OPTIONS="+extension GLX"
# shellcheck disable=SC2054 # one option and its x,y,w,h value
IGNORER=(--ignorer 0,0,320,36) # the top bar
# Tiled, it repeats the picture stretched to the screen size and shifted, not the picture itself (seen under
# Xvfb with software GL).
NON_MODELISEES=(2)

bureau_racine() {
    if [ -d /run/systemd ]; then mount -t tmpfs tmpfs /run/systemd; fi
}
bureau_avant() {
    local bus="$TRAVAIL/bus-systeme"
    lancer bus-systeme dbus-daemon --session --nofork --address="unix:path=$bus"
    until [ -S "$bus" ]; do sleep 0.05; done
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$bus"
    natif_appliquer "$1"
}
bureau_demarrer() { XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=GNOME lancer bureau gnome-shell --x11 --replace; }
ESCAPES=0
bureau_pret() {
    outil --voir "$1" 0 0 >/dev/null && return 0
    # The overview hides the picture; before the shell is up, an Escape is simply lost.
    ESCAPES=$((ESCAPES + 1))
    if [ "$((ESCAPES % 5))" = 0 ]; then xdotool key Escape 2>/dev/null; fi
    return 1
}
natif_appliquer() {
    gsettings set org.gnome.desktop.background picture-uri "$(gvariant_chaine "$(uri_fichier "$1")")"
}

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
