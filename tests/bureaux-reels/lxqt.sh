#!/bin/bash
# LXQt: pcmanfm-qt --desktop draws the desktop from its profile's settings.conf, and takes changes on the
# session bus (org.pcmanfm.PCManFM); its own `--set-wallpaper` hands them to the running instance there.
set -u
FAMILLE=lxqt
COMMANDES=(pcmanfm-qt gdbus)
AVANT_BUREAU=oui

reglages() { printf '%s' "$XDG_CONFIG_HOME/pcmanfm-qt/default/settings.conf"; }

bureau_avant() {
    mkdir -p "$(dirname "$(reglages)")"
    # Icons and shortcuts would cover the picture; they are not what is tested. Only a plain path is
    # written here: QSettings would read its own escapes into anything else. Stretch is pcmanfm-qt's
    # default, and the mode it would never return to once left.
    cat >"$(reglages)" <<EOF
[Desktop]
HideItems=true
DesktopShortcuts=
BgColor=#000000
WallpaperMode=stretch
Wallpaper=$1
EOF
}
bureau_demarrer() { QT_QPA_PLATFORM=xcb lancer bureau pcmanfm-qt --desktop; }
# Before it holds its bus name, `--set-wallpaper` would become the instance itself instead of a client.
bureau_pret() {
    [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.pcmanfm.PCManFM 2>/dev/null)" = "(true,)" ]
}
natif_appliquer() { QT_QPA_PLATFORM=xcb pcmanfm-qt --set-wallpaper "$1"; }

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
