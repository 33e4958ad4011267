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

# GNOME 48 and later: headless on Wayland, with the AppIndicator extension as the StatusNotifier host. Screenshots
# are refused there, so what it shows is read back from its settings.
if [ "$(gnome-shell --version 2>/dev/null | tr -dc '0-9.' | cut -d. -f1)" -ge 48 ] 2>/dev/null; then
    FAMILLE=gnome-wayland
    MOTEUR=gnome
    COMMANDES+=(gdbus python3)
    HOTE_SNI=oui
    OPTIONS=(any centered wallpaper stretched scaled zoom)
    bureau_demarrer() {
        export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-g
        gsettings set org.gnome.shell disable-user-extensions false
        gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']"
        lancer bureau gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display wayland-g
    }
    bureau_pret() {
        [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.kde.StatusNotifierWatcher 2>/dev/null)" = "(true,)" ]
    }
    bureau_voir() {
        local fin=$((SECONDS + $4)) uri options
        while :; do
            uri=$(gsettings get org.gnome.desktop.background picture-uri)
            uri=$(python3 -c 'import ast, sys, urllib.parse; print(urllib.parse.unquote(ast.literal_eval(sys.argv[1])))' "$uri")
            options=$(gsettings get org.gnome.desktop.background picture-options)
            [ "$uri" = "file://$1" ] && { [ "$3" = 0 ] || [ "$options" = "'${OPTIONS[$3]}'" ]; } && return 0
            [ "$SECONDS" -lt "$fin" ] || { echo "gnome-shell has: $uri $options" >>"$TRAVAIL/traces/voir.log"; return 1; }
            sleep 0.2
        done
    }
    NON_MODELISEES=()
    IGNORER=()
fi

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
