#!/bin/bash
# KDE Plasma: plasmashell draws each desktop's wallpaper from its org.kde.image configuration.
set -u
FAMILLE=kde
QDBUS=/usr/lib/qt6/bin/qdbus
COMMANDES=(plasmashell "$QDBUS")

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

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
