# shellcheck shell=bash
# Shared by the per-desktop scripts (sourced). Each one runs in three stages:
#   outside (ctest, root)      -> private PID, mount and network namespaces, so that nothing it starts
#                                 outlives it, orphans are reaped, and its X display and /tmp are its own;
#   in the namespace (root)    -> Xvfb and a session bus, as a user of its own (desktops refuse root);
#   inside (that user)         -> the desktop itself, and the checks.
# A desktop script sets FAMILLE, COMMANDES, optionally MOTEUR (our backend's name, when not FAMILLE),
# XVFB_OPTIONS, IGNORER (appliquer's --ignorer options for what the desktop draws over its picture),
# NON_MODELISEES (layouts it draws its own way, left unchecked), and defines:
#   bureau_racine     (optional) root's share of the set-up, inside the namespace
#   bureau_avant      (optional) <picture>: settings made before the desktop starts
#   bureau_demarrer   starts the desktop in the background, with `lancer`
#   bureau_pret       <first picture>: true once the desktop takes changes (called repeatedly)
#   natif_appliquer   <file>: the desktop's own tool
#   bureau_voir       (optional) <file set> <picture> <layout> <seconds>: true once the desktop shows it; by
#                     default the X screen is watched, a Wayland desktop reads its own store or screen
# AVANT_BUREAU=oui asks for a picture before the desktop runs, as at login; HOTE_SNI=oui drives the tray icon
# through the desktop's StatusNotifier host.
ECRAN=320x240
DELAI=15
[ -n "${IGNORER+x}" ] || IGNORER=()
[ -n "${NON_MODELISEES+x}" ] || NON_MODELISEES=()

executer() {
    case "${1:-}" in
        --espace) etape_espace "$2" "$3" ;;
        --dedans) etape_dedans ;;
        *) etape_dehors "$@" ;;
    esac
}

passer() { echo "SKIP: $FAMILLE: $1"; exit 77; } # <reason>: ctest reports the test as skipped

etape_dehors() {
    [ "$#" = 2 ] && [ -x "$1" ] && [ -x "$2" ] || { echo "usage: $0 <appliquer> <papirol2>" >&2; exit 2; }
    local c manquantes=() refus
    for c in unshare setpriv useradd xvfb-run Xvfb dbus-run-session convert "${COMMANDES[@]}"; do
        command -v "$c" >/dev/null 2>&1 || manquantes+=("$c")
    done
    [ "${#manquantes[@]}" = 0 ] || passer "not installed: ${manquantes[*]} (make test-bureaux installs PAQUETS_BUREAUX)"
    [ "$(id -u)" = 0 ] || passer "must run as root, to make namespaces and a user of its own"
    local -a espace=(unshare --pid --fork --kill-child --mount --net --mount-proc)
    # A chroot whose root is no mount point, or a container without the right, cannot give them.
    refus=$("${espace[@]}" true 2>&1) || passer "cannot make private namespaces here: $refus"
    exec "${espace[@]}" bash "$(realpath "$0")" --espace "$(realpath "$1")" "$(realpath "$2")"
}

etape_espace() {
    local ici utilisateur outils=/mnt
    ici=$(dirname "$(realpath "$0")")
    # The checkout and the build may lie under /tmp, which the private /tmp hides: what the run needs goes to a
    # tmpfs of this namespace first (the user cannot enter the build folder anyway).
    mount -t tmpfs -o mode=0755 tmpfs "$outils" \
        && cp "$ici/commun.sh" "$ici/../sni.py" "$ici/../comme-utilisateur.sh" "$0" "$1" "$2" "$outils/" || exit 1
    mount -t tmpfs -o mode=1777 tmpfs /tmp || exit 1
    utilisateur=$("$outils/comme-utilisateur.sh" --nom) || exit 1
    if declare -F bureau_racine >/dev/null; then bureau_racine || exit 1; fi
    TRAVAIL=/tmp/bureau
    mkdir -p "$TRAVAIL/outils" "$TRAVAIL/maison" "$TRAVAIL/run" "$TRAVAIL/traces"
    cp "$outils"/* "$TRAVAIL/outils/" && chmod 0700 "$TRAVAIL/run" && chown -R "$utilisateur:" "$TRAVAIL" || exit 1
    "$outils/comme-utilisateur.sh" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8 \
        USER="$utilisateur" LOGNAME="$utilisateur" HOME="$TRAVAIL/maison" TRAVAIL="$TRAVAIL" \
        XDG_CONFIG_HOME="$TRAVAIL/maison/.config" XDG_CACHE_HOME="$TRAVAIL/maison/.cache" \
        XDG_DATA_HOME="$TRAVAIL/maison/.local/share" XDG_RUNTIME_DIR="$TRAVAIL/run" \
        xvfb-run -a -s "-screen 0 ${ECRAN}x24 -nolisten tcp ${XVFB_OPTIONS:-}" \
        dbus-run-session -- bash "$TRAVAIL/outils/$(basename "$0")" --dedans
    local rc=$?
    if [ -n "${PAPIROL2_TRACES:-}" ]; then
        # The traces folder may be under the /tmp that the private one hides: that one is set aside first.
        cp -r "$TRAVAIL/traces" "$outils/traces" && umount -l /tmp
        rm -rf "${PAPIROL2_TRACES:?}/$FAMILLE"
        mkdir -p "$PAPIROL2_TRACES" && cp -r "$outils/traces" "$PAPIROL2_TRACES/$FAMILLE"
    fi
    exit "$rc"
}

PIDS=()
lancer() { # <journal name> <command...>: starts a process this script must stop
    local journal="$1"
    shift
    "$@" >"$TRAVAIL/traces/$journal.log" 2>&1 &
    PIDS+=("$!")
}

ECHECS=0
resultat() { # <0 for success> <description>
    if [ "$1" = 0 ]; then echo "ok   - $FAMILLE: $2"; else
        echo "FAIL - $FAMILLE: $2"
        ECHECS=$((ECHECS + 1))
    fi
}

# Our tool for this family, its log in traces/appliquer.log; "--voir <picture> <layout>" at the end waits for
# the screen to show it.
outil() { QT_LOGGING_RULES="papirol2.*=true" PAPIROL2_BUREAU="${MOTEUR:-$FAMILLE}" "$TRAVAIL/outils/appliquer" "${IGNORER[@]}" "$@" 2>>"$TRAVAIL/traces/appliquer.log"; }
natif() { natif_appliquer "$1" >>"$TRAVAIL/traces/natif.log" 2>&1; }
voir() { # <file set> <picture> <layout> <seconds>
    if declare -F bureau_voir >/dev/null; then bureau_voir "$@"; else outil --voir "${@:2}"; fi
}

# GVariant text for a string, as gsettings reads it.
gvariant_chaine() {
    local s="$1"
    s=${s//\\/\\\\}
    s=${s//\'/\\\'}
    s=${s//$'\n'/\\n}
    printf "'%s'" "$s"
}

uri_fichier() { # <absolute path>: a file:// URI, every byte outside the unreserved set escaped
    local LC_ALL=C s="$1" c r="" i
    for ((i = 0; i < ${#s}; i++)); do
        c=${s:i:1}
        case "$c" in
            [a-zA-Z0-9/._~-]) r+="$c" ;;
            *) printf -v c '%%%02X' "'$c"; r+="$c" ;;
        esac
    done
    printf 'file://%s' "$r"
}

image_quadrants() { # <file> <1|2>: 100x50 in four flat colours, split off-centre so that fill and stretch differ
    local -a c=(red lime blue yellow)
    [ "$2" = 1 ] || c=(yellow blue lime red)
    convert -size 100x50 "xc:${c[3]}" -fill "${c[0]}" -draw 'rectangle 0,0 29,19' -fill "${c[1]}" \
        -draw 'rectangle 30,0 99,19' -fill "${c[2]}" -draw 'rectangle 0,20 29,49' "PNG24:$1"
}

etape_dedans() {
    trap 'for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done; wait' EXIT
    trap 'exit 130' INT TERM
    cd "$TRAVAIL" || exit 1
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
    local A="$TRAVAIL/quadrants.png" B="$TRAVAIL/inverse.png" debut=$SECONDS
    image_quadrants "$A" 1 && image_quadrants "$B" 2 || exit 1

    # Start: the desktop shows B, set with its own tool, before our tool is involved; or, as at login, A asked
    # of our tool before the desktop runs.
    if declare -F bureau_avant >/dev/null; then bureau_avant "$B"; fi
    local avant
    if [ "${AVANT_BUREAU:-}" = oui ]; then
        outil --delai 150 "$A" &
        avant=$!
        # The desktop starts once our tool has asked: done, or told to wait for the desktop.
        local i
        for ((i = 0; i < 100; i++)); do
            kill -0 "$avant" 2>/dev/null && ! grep -q "on the bus yet" "$TRAVAIL/traces/appliquer.log" || break
            sleep 0.2
        done
    fi
    bureau_demarrer
    local bureau_pid="${PIDS[-1]}"
    until bureau_pret "$B"; do
        if ! kill -0 "$bureau_pid" 2>/dev/null || [ $((SECONDS - debut)) -gt 90 ]; then
            echo "FAIL - $FAMILLE: the desktop exited or was not ready within 90 s (traces: bureau.log)"
            tail -5 "$TRAVAIL/traces/bureau.log"
            exit 1
        fi
        sleep 0.2
    done
    if [ -n "${avant:-}" ]; then
        wait "$avant"
        voir "$A" "$A" 0 "$DELAI"
        resultat $? "a picture asked before the desktop ran is shown once it runs"
    fi
    natif "$B"
    voir "$B" "$B" 0 90 || { echo "FAIL - $FAMILLE: the desktop never showed a picture set with its own tool"; exit 1; }

    # Layouts: each differs from the one before, so a change that did not happen cannot pass.
    local n
    for n in 1 2 3 4 5; do
        if [[ " ${NON_MODELISEES[*]} " == *" $n "* ]]; then
            echo "       layout $n: drawn the desktop's own way here, not checked"
        else
            outil --position "$n" "$A" && voir "$A" "$A" "$n" "$DELAI"
            resultat $? "layout $n shows the picture as expected"
        fi
    done

    # A name full of what quoting, URIs and config files get wrong; B's pixels, A on screen before.
    mkdir -p "$TRAVAIL/dossier é 'x'"
    local hostile="$TRAVAIL/dossier é 'x'/l'image \"q\" back\\slash 100%41 #1 été ñ.png"
    cp "$B" "$hostile"
    outil --position 3 "$hostile" && voir "$hostile" "$B" 3 "$DELAI"
    resultat $? "a hostile file name shows that very picture"

    if [ "${HOTE_SNI:-}" = oui ]; then
        mkdir -p "$TRAVAIL/papirol2/images" && cp "$A" "$B" "$TRAVAIL/papirol2/images/"
        printf '[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.png\nselected=true\n' \
            "$TRAVAIL/papirol2/images" >"$TRAVAIL/papirol2/Papirol2.ini"
        (cd "$TRAVAIL/papirol2" && QT_LOGGING_RULES="papirol2.*=true" PAPIROL2_BUREAU="${MOTEUR:-$FAMILLE}" exec "$TRAVAIL/outils/papirol2") \
            >"$TRAVAIL/traces/papirol2.log" 2>&1 &
        local programme=$!
        "$TRAVAIL/outils/sni.py" verifier "$programme" "$XDG_CONFIG_HOME"
        local rc=$?
        resultat "$rc" "the tray icon on the desktop's StatusNotifier host: menu and clicks"
        [ "$rc" = 0 ] || kill "$programme"
        wait "$programme"
        resultat $? "\"Quitter\" through that menu ends the program with 0"
    fi

    kill -0 "$bureau_pid" 2>/dev/null
    resultat $? "the desktop is still running at the end"
    [ "$ECHECS" = 0 ]
}
