#!/bin/bash
# XFCE: xfdesktop draws the desktop from the xfce4-desktop channel of xfconf. Xvfb's output is named "screen".
# With no window manager xfdesktop's own window stays unmapped (and without -D it waits for one): what shows is
# the root window it paints, and only from the first change on.
set -u
FAMILLE=xfce
COMMANDES=(xfdesktop xfconf-query gdbus)
PROPRIETE=/backdrop/screen0/monitorscreen/workspace0/last-image

bureau_avant() {
    # Icons would cover the picture; they are not what is tested.
    xfconf-query -c xfce4-desktop -p /desktop-icons/style -n -t int -s 0
    # Its default picture is not installed, and a change made while it was failing to load that one
    # has crashed xfdesktop 4.18 here ("corrupted double-linked list"): start it on a picture that loads.
    natif_appliquer "$TRAVAIL/quadrants.png"
}
bureau_demarrer() { lancer bureau xfdesktop --sm-client-disable --disable-wm-check; }
# 4.18 fills in the rest of the channel once started; 4.20 leaves it, and is ready once on the bus.
bureau_pret() {
    if xfdesktop --version 2>/dev/null | grep -q 'version 4\.1'; then
        xfconf-query -c xfce4-desktop -p "${PROPRIETE%/*}/image-style" >/dev/null 2>&1
    else
        [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.xfce.xfdesktop 2>/dev/null)" = "(true,)" ]
    fi
}
natif_appliquer() { xfconf-query -c xfce4-desktop -p "$PROPRIETE" -n -t string -s "$1"; }

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
