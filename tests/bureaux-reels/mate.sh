#!/bin/bash
# MATE: caja draws the desktop from org.mate.background.
set -u
FAMILLE=mate
COMMANDES=(caja gsettings)

bureau_avant() {
    local cle
    # Icons would cover the picture; they are not what is tested.
    for cle in computer-icon-visible home-icon-visible trash-icon-visible network-icon-visible volumes-visible; do
        gsettings set org.mate.caja.desktop "$cle" false
    done
    natif_appliquer "$1"
}
bureau_demarrer() { lancer bureau caja -n --force-desktop; }
bureau_pret() { true; }
natif_appliquer() { gsettings set org.mate.background picture-filename "$(gvariant_chaine "$1")"; }

. "$(dirname "$(realpath "$0")")/commun.sh"
executer "$@"
