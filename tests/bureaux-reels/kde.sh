#!/bin/bash
# KDE Plasma: plasmashell draws each desktop's wallpaper from its org.kde.image configuration. Plasma 5 runs on
# Xvfb and is watched on screen; Plasma 6 runs on Wayland, headless (kwin_wayland, then kded6 for the
# StatusNotifier watcher, then plasmashell), where nothing can take a screenshot without GL: what it shows is
# read back from plasmashell itself.
set -u
FAMILLE=kde
QDBUS=/usr/lib/qt6/bin/qdbus
COMMANDES=(plasmashell "$QDBUS")
AVANT_BUREAU=oui

script() { "$QDBUS" org.kde.plasmashell /PlasmaShell org.kde.PlasmaShell.evaluateScript "$1"; }

bureau_demarrer() { QT_QPA_PLATFORM=xcb lancer bureau plasmashell --no-respawn; }
bureau_pret() {
    local n
    n=$(script 'print(desktops().length)' 2>/dev/null) && [ "${n:-0}" -gt 0 ] 2>/dev/null || return 1
    # The first start lays out a panel, which would hide some of the picture.
    script 'panels().forEach(function (p) { p.remove(); })' >/dev/null
}
# Through the desktop's scripting rather than plasma-apply-wallpaperimage, which pastes the path into its
# script unescaped and so fails on a newline that the desktop itself takes.
natif_appliquer() {
    script "desktops().forEach(function (d) {
                d.wallpaperPlugin = 'org.kde.image';
                d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];
                d.writeConfig('Image', '$(uri_fichier "$1")');
            })"
}

if command -v kded6 >/dev/null 2>&1; then
    FAMILLE=kde-wayland
    MOTEUR=kde
    COMMANDES+=(kwin_wayland kded6 python3)
    HOTE_SNI=oui
    REMPLISSAGES=(any 6 3 0 1 2) # FillMode of each layout
    bureau_demarrer() {
        export WAYLAND_DISPLAY=wayland-kde XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=6 \
            XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
        # Else the activity manager, started by the bus, looks for X11 and plasmashell aborts.
        dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP KDE_FULL_SESSION \
            KDE_SESSION_VERSION XDG_SESSION_TYPE QT_QPA_PLATFORM
        lancer kwin kwin_wayland --virtual --width 1280 --height 800 --socket wayland-kde --no-lockscreen
        until [ -S "$XDG_RUNTIME_DIR/wayland-kde" ]; do sleep 0.1; done
        lancer kded kded6
        lancer bureau plasmashell --no-respawn
    }
    # The panel stays: it holds the StatusNotifier host.
    bureau_pret() {
        local n
        n=$(script 'print(desktops().length)' 2>/dev/null) && [ "${n:-0}" -gt 0 ] 2>/dev/null
    }
    bureau_voir() {
        local fin=$((SECONDS + $4)) lu
        while :; do
            lu=$(script "var d = desktops()[0];
                         d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];
                         print(d.readConfig('Image') + '\n' + d.readConfig('FillMode'));" 2>/dev/null)
            lu=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.unquote(sys.argv[1]))' "$lu")
            [ "${lu%$'\n'*}" = "file://$1" ] && { [ "$3" = 0 ] || [ "${lu##*$'\n'}" = "${REMPLISSAGES[$3]}" ]; } &&
                return 0
            [ "$SECONDS" -lt "$fin" ] || { echo "plasmashell has: $lu" >>"$TRAVAIL/traces/voir.log"; return 1; }
            sleep 0.2
        done
    }
fi

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
