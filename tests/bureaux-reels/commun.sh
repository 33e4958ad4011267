# shellcheck shell=bash
# Shared by the per-desktop scripts (sourced). Each one runs in three stages:
#   outside (ctest, root)      -> private PID, mount and network namespaces, so that nothing it starts
#                                 outlives it, orphans are reaped, and its X display and /tmp are its own;
#   in the namespace (root)    -> a user of its own (desktops refuse root), then Xvfb and a session bus;
#   inside (that user)         -> the desktop itself, and the checks.
# A desktop script sets FAMILLE, COMMANDES, optionally XVFB_OPTIONS and IGNORER (reconnaitre's
# --ignorer options for what the desktop draws over its picture), and defines:
#   bureau_avant      (optional) settings made before the desktop starts
#   bureau_demarrer   starts the desktop in the background, with `lancer`
#   bureau_pret       <first picture>: true once the desktop takes changes (called repeatedly)
#   natif_appliquer   <file>: the desktop's own tool, for reference timings
#   natif_lire        prints the desktop's own setting for the picture
#   natif_disposition <1..5>: the desktop's own tool, for layouts in DISPOSITIONS_PAR_REFERENCE
# DISPOSITION_AVEC_IMAGE, when set, says that our layout change sets the desktop's picture setting too.
#   bureau_racine     (optional) root's share of the set-up, inside the namespace

UTILISATEUR=papirol2-bureaux
ECRAN=320x240
XVFB_OPTIONS="${XVFB_OPTIONS:-}"
[ -n "${IGNORER+x}" ] || IGNORER=()
[ -n "${DISPOSITIONS_PAR_REFERENCE+x}" ] || DISPOSITIONS_PAR_REFERENCE=()
DISPOSITION_AVEC_IMAGE="${DISPOSITION_AVEC_IMAGE:-}"
DELAI_DEMARRAGE=90
DELAI_CHANGEMENT=15

passer() { # <reason>: ctest reports the test as skipped
    echo "SKIP: $FAMILLE: $1"
    if [ -n "${PAPIROL2_TABLEAU:-}" ]; then printf '%s\tSKIP: %s\n' "$FAMILLE" "$1" >>"$PAPIROL2_TABLEAU"; fi
    exit 77
}

executer() {
    case "${1:-}" in
        --espace) shift; etape_espace "$@" ;;
        --dedans) shift; etape_dedans "$@" ;;
        *) etape_dehors "$@" ;;
    esac
}

# ---------------------------------------------------------------- outside
etape_dehors() {
    if [ "$#" != 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
        echo "usage: $0 <appliquer> <reconnaitre>" >&2
        exit 2
    fi
    local c manquantes=()
    for c in unshare setpriv useradd xvfb-run Xvfb dbus-run-session import convert "${COMMANDES[@]}"; do
        command -v "$c" >/dev/null 2>&1 || manquantes+=("$c")
    done
    [ "${#manquantes[@]}" = 0 ] || passer "not installed: ${manquantes[*]} (make test-bureaux installs PAQUETS_BUREAUX)"
    [ "$(id -u)" = 0 ] || passer "must run as root, to make namespaces and a user of its own"
    local -a espace=(unshare --pid --fork --kill-child --mount --net --mount-proc)
    local refus
    # A chroot whose root is no mount point, or a container without the right, cannot give them.
    refus=$("${espace[@]}" true 2>&1) || passer "cannot make private namespaces here: $refus"
    exec "${espace[@]}" bash "$(realpath "$0")" --espace "$(realpath "$1")" "$(realpath "$2")"
}

# ---------------------------------------------------------------- in the namespace, as root
etape_espace() {
    local appliquer="$1" reconnaitre="$2" ici
    ici=$(dirname "$(realpath "$0")")
    mount -t tmpfs -o mode=1777 tmpfs /tmp || exit 1
    if ! id -u "$UTILISATEUR" >/dev/null 2>&1; then
        useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            "$UTILISATEUR" || exit 1
    fi
    if declare -F bureau_racine >/dev/null; then bureau_racine || exit 1; fi

    TRAVAIL=/tmp/bureau
    mkdir -p "$TRAVAIL/outils" "$TRAVAIL/maison" "$TRAVAIL/run" "$TRAVAIL/traces"
    cp "$ici/commun.sh" "$ici/images.sh" "$0" "$appliquer" "$reconnaitre" "$TRAVAIL/outils/" || exit 1
    chmod 0700 "$TRAVAIL/run"
    chown -R "$UTILISATEUR:" "$TRAVAIL"

    setpriv --reuid "$UTILISATEUR" --regid "$UTILISATEUR" --init-groups \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8 \
        USER="$UTILISATEUR" LOGNAME="$UTILISATEUR" HOME="$TRAVAIL/maison" TRAVAIL="$TRAVAIL" \
        XDG_CONFIG_HOME="$TRAVAIL/maison/.config" XDG_CACHE_HOME="$TRAVAIL/maison/.cache" \
        XDG_DATA_HOME="$TRAVAIL/maison/.local/share" XDG_RUNTIME_DIR="$TRAVAIL/run" \
        xvfb-run -a -s "-screen 0 ${ECRAN}x24 -nolisten tcp $XVFB_OPTIONS" \
        dbus-run-session -- bash "$TRAVAIL/outils/$(basename "$0")" --dedans
    local rc=$?

    if [ -n "${PAPIROL2_TRACES:-}" ]; then
        rm -rf "${PAPIROL2_TRACES:?}/$FAMILLE"
        mkdir -p "$PAPIROL2_TRACES" && cp -r "$TRAVAIL/traces" "$PAPIROL2_TRACES/$FAMILLE"
    fi
    if [ -n "${PAPIROL2_TABLEAU:-}" ] && [ -s "$TRAVAIL/ligne.tsv" ]; then
        cat "$TRAVAIL/ligne.tsv" >>"$PAPIROL2_TABLEAU"
    fi
    exit "$rc"
}

# ---------------------------------------------------------------- inside, as the desktop's user
PIDS=()
lancer() { # <journal name> <command...>: starts a process this script must stop
    local journal="$1"
    shift
    "$@" >"$TRAVAIL/traces/$journal.log" 2>&1 &
    PIDS+=("$!")
}

nettoyer() {
    local p
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
}

maintenant_us() { local t="$EPOCHREALTIME"; printf '%s' "${t/./}"; }

capturer() { import -window root -depth 8 "$1" 2>/dev/null; }

# Polls root-window captures until the picture shows in the layout (0: any; "=": the picture is a
# reference capture to match); leaves the time since $DEBUT in ECOULE_MS. The capture that failed,
# and the judge's verdict on it, stay in the traces.
attendre_ecran() { # <picture> <layout> <time-out in seconds> <trace name>
    local image="$1" disposition="$2" delai_us=$(($3 * 1000000)) nom="$4" prise
    local -a juger=("$OUTILS/reconnaitre" "${IGNORER[@]}")
    case "$disposition" in
        =) juger+=(--comme "$image" "$TRAVAIL/capture.png") ;;
        0) juger+=("$TRAVAIL/capture.png" "$image") ;;
        *) juger+=("$TRAVAIL/capture.png" "$image" "$disposition") ;;
    esac
    while :; do
        prise=$(maintenant_us)
        if capturer "$TRAVAIL/capture.png" && "${juger[@]}" >"$TRAVAIL/verdict.txt" 2>&1; then
            ECOULE_MS=$(((prise - DEBUT) / 1000))
            return 0
        fi
        if [ "$((prise - DEBUT))" -gt "$delai_us" ]; then
            cp "$TRAVAIL/capture.png" "$TRAVAIL/traces/$nom.png" 2>/dev/null
            cp "$TRAVAIL/verdict.txt" "$TRAVAIL/traces/$nom.txt"
            echo "       last capture: $(cat "$TRAVAIL/verdict.txt")"
            return 1
        fi
    done
}

# Waits until the screen has left the capture given and holds still between two captures.
attendre_stable() { # <capture before> <capture kept> <time-out in seconds> <trace name>
    local debut precedent="$TRAVAIL/precedent.png"
    local -a juger=("$OUTILS/reconnaitre" "${IGNORER[@]}" --comme)
    debut=$(maintenant_us)
    rm -f "$precedent"
    while :; do
        if capturer "$TRAVAIL/capture.png" && ! "${juger[@]}" "$1" "$TRAVAIL/capture.png" >/dev/null 2>&1 &&
            [ -f "$precedent" ] && "${juger[@]}" "$precedent" "$TRAVAIL/capture.png" >/dev/null 2>&1; then
            cp "$TRAVAIL/capture.png" "$2"
            return 0
        fi
        cp "$TRAVAIL/capture.png" "$precedent" 2>/dev/null
        if [ "$(($(maintenant_us) - debut))" -gt "$(($3 * 1000000))" ]; then
            cp "$TRAVAIL/capture.png" "$TRAVAIL/traces/$4.png" 2>/dev/null
            return 1
        fi
    done
}

# A layout the desktop does not draw as reconnaitre models it: our tool must then give the very screen
# the desktop's own tool gives for it. The desktop is moved to another layout in between, so that our
# change is seen.
par_reference() { # <picture> <layout> <other layout, model-checked>
    local image="$1" n="$2" autre="$3" reference="$TRAVAIL/reference-$2.png"
    capturer "$TRAVAIL/avant.png"
    natif_disposition "$n" >>"$TRAVAIL/traces/natif.log" 2>&1
    if ! attendre_stable "$TRAVAIL/avant.png" "$reference" "$DELAI_CHANGEMENT" "reference-$n"; then
        echo "       the desktop's own tool did not change the screen to layout $n"
        return 1
    fi
    cp "$reference" "$TRAVAIL/traces/reference-$n.png"
    if "$OUTILS/reconnaitre" "${IGNORER[@]}" "$reference" "$image" >"$TRAVAIL/verdict.txt"; then
        echo "       the desktop's layout $n looks like another layout: $(cat "$TRAVAIL/verdict.txt")"
        return 1
    fi
    natif_disposition "$autre" >>"$TRAVAIL/traces/natif.log" 2>&1
    attendre_ecran "$image" "$autre" "$DELAI_CHANGEMENT" "reference-$n-autre" || return 1
    par_outil "$reference" = "disposition-$n" --position "$n" "$image"
}

ECHECS=0
resultat() { # <0 for success> <description>
    if [ "$1" = 0 ]; then
        echo "ok   - $FAMILLE: $2"
    else
        echo "FAIL - $FAMILLE: $2"
        ECHECS=$((ECHECS + 1))
    fi
}

outil() { # <arguments...>: our tool, for this desktop family
    PAPIROL2_BUREAU="$FAMILLE" "$OUTILS/appliquer" "$@" >>"$TRAVAIL/traces/appliquer.log" 2>&1
}

# Runs a command while watching the screen for its picture (in-process grabs, every 10 ms or so); leaves
# in ECOULE_MS the time from the command's start to the first grab that shows it, and in STATUT the
# command's status. The verdict itself is then taken on an `import` capture, as everywhere else.
chronometrer() { # <picture> <layout> <trace name> <command...>
    local image="$1" disposition="$2" nom="$3" pret="$TRAVAIL/guet.pret" guet="" vu temps=""
    local delai="$DELAI_CHANGEMENT"
    shift 3
    local -a attendue=()
    [ "$disposition" = 0 ] || attendue=("$disposition")
    rm -f "$pret"
    if [ "$disposition" != = ]; then
        "$OUTILS/reconnaitre" "${IGNORER[@]}" --guetter "$DELAI_CHANGEMENT" "$pret" "$image" "${attendue[@]}" \
            >"$TRAVAIL/guet.txt" 2>&1 &
        guet=$!
        until [ -e "$pret" ] || ! kill -0 "$guet" 2>/dev/null; do sleep 0.01; done
    fi
    DEBUT=$(maintenant_us)
    "$@"
    STATUT=$?
    if [ -n "$guet" ]; then
        if wait "$guet"; then
            vu=$(sed -n 's/^seen: //p' "$TRAVAIL/guet.txt")
            temps=$(((vu - DEBUT) / 1000))
        else
            delai=0 # it watched for as long as the verdict would: one look will do
        fi
    fi
    attendre_ecran "$image" "$disposition" "$delai" "$nom"
    vu=$?
    ECOULE_MS=$temps
    return "$vu"
}

# Applies through our tool and checks the screen; fails on the tool's status or on the screen.
par_outil() { # <picture shown> <layout> <trace name> <appliquer arguments...>
    chronometrer "$1" "$2" "$3" outil "${@:4}"
    local vu=$?
    [ "$STATUT" = 0 ] || echo "       appliquer ${*:4} exited with $STATUT (see appliquer.log)"
    [ "$vu" = 0 ] && [ "$STATUT" = 0 ]
}

natif() { natif_appliquer "$1" >>"$TRAVAIL/traces/natif.log" 2>&1; }
par_natif() { chronometrer "$1" "$2" "$3" natif "$1"; } # <picture file> <layout> <trace name>

mediane() {
    if [ "$#" = 0 ]; then printf -- -; else printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; fi
}

ligne_tableau() { # <layouts> <hostile> <newline> <missing> <start ms> <appliquer ms> <own tool ms>
    local IFS=$'\t'
    printf '%s\t%s\n' "$FAMILLE" "$*" >"$TRAVAIL/ligne.tsv"
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

etape_dedans() {
    trap nettoyer EXIT
    trap 'exit 130' INT TERM
    OUTILS="$TRAVAIL/outils"
    cd "$TRAVAIL" || exit 1
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
    . "$OUTILS/images.sh"
    local A="$TRAVAIL/quadrants.png" B="$TRAVAIL/inverse.png"
    image_quadrants "$A" 1 && image_quadrants "$B" 2 || exit 1

    # Start: the desktop shows B, set with its own tool, before our tool is involved.
    if declare -F bureau_avant >/dev/null; then bureau_avant "$B"; fi
    DEBUT=$(maintenant_us)
    bureau_demarrer
    local bureau_pid="${PIDS[-1]}"
    until bureau_pret "$B"; do
        if ! kill -0 "$bureau_pid" 2>/dev/null; then
            echo "FAIL - $FAMILLE: the desktop exited at start (traces: bureau.log)"
            tail -5 "$TRAVAIL/traces/bureau.log"
            ligne_tableau "FAIL: the desktop exited at start"
            exit 1
        fi
        if [ "$(($(maintenant_us) - DEBUT))" -gt "$((DELAI_DEMARRAGE * 1000000))" ]; then
            echo "FAIL - $FAMILLE: the desktop was not ready after $DELAI_DEMARRAGE s"
            cp "$TRAVAIL/capture.png" "$TRAVAIL/traces/demarrage.png" 2>/dev/null
            ligne_tableau "FAIL: the desktop was not ready"
            exit 1
        fi
        sleep 0.2
    done
    natif_appliquer "$B" >>"$TRAVAIL/traces/natif.log" 2>&1
    if ! attendre_ecran "$B" 0 "$DELAI_DEMARRAGE" demarrage; then
        echo "FAIL - $FAMILLE: the desktop never showed a picture set with its own tool"
        ligne_tableau "FAIL: no picture shown by the desktop's own tool"
        exit 1
    fi
    local demarrage=$ECOULE_MS
    echo "       $FAMILLE shows its first picture $demarrage ms after start"

    # Layouts: each differs from the one before, so a change that did not happen cannot pass.
    local n rc verifiees="" precedente=3
    for n in 1 2 3 4 5; do
        if [[ " ${DISPOSITIONS_PAR_REFERENCE[*]} " == *" $n "* ]]; then
            par_reference "$A" "$n" "$precedente"
            rc=$?
            resultat "$rc" "layout $n gives the screen the desktop's own tool gives"
            [ "$rc" != 0 ] || verifiees+="$n* "
        else
            par_outil "$A" "$n" "disposition-$n" --position "$n" "$A"
            rc=$?
            resultat "$rc" "layout $n shows the picture as expected"
            [ "$rc" != 0 ] || verifiees+="$n "
            precedente=$n
        fi
    done

    # Timings, in a fixed layout: alternate our tool and the desktop's own, so that each changes the screen.
    local -a t_outil=() t_natif=()
    par_outil "$A" 3 reglage --position 3
    resultat $? "layout 3 again, with no picture given"
    local i ok_outil=0 ok_natif=0
    for i in 1 2 3; do
        par_outil "$B" 3 "chrono-outil-$i" "$B" || ok_outil=1
        [ -z "$ECOULE_MS" ] || t_outil+=("$ECOULE_MS")
        par_natif "$A" 3 "chrono-natif-$i" || ok_natif=1
        [ -z "$ECOULE_MS" ] || t_natif+=("$ECOULE_MS")
    done
    resultat "$ok_outil" "a picture change shows (3 times)"
    [ "$ok_natif" = 0 ] || echo "       the desktop's own tool did not always change the screen"

    # A name full of what quoting, URIs and config files get wrong; B's pixels, A on screen before.
    mkdir -p "$TRAVAIL/dossier é 'x'"
    local hostile="$TRAVAIL/dossier é 'x'/l'image \"q\" back\\slash 100%41 #1 été ñ.png"
    cp "$B" "$hostile"
    par_outil "$B" 3 nom-hostile "$hostile"
    rc=$?
    resultat "$rc" "a hostile file name shows that very picture"
    local colonne_hostile=ok
    [ "$rc" = 0 ] || colonne_hostile=FAIL

    # A newline too, where the desktop's own tool gets it through.
    local ligne="$TRAVAIL/deux"$'\n'"lignes.png" colonne_ligne
    cp "$A" "$ligne"
    if par_natif "$ligne" 3 nouvelle-ligne-natif; then
        par_natif "$B" 3 nouvelle-ligne-retour
        par_outil "$A" 3 nouvelle-ligne "$ligne"
        rc=$?
        resultat "$rc" "a file name with a newline shows that very picture"
        colonne_ligne=ok
        [ "$rc" = 0 ] || colonne_ligne=FAIL
    else
        colonne_ligne="n/a"
        echo "       the desktop's own tool cannot show a file name with a newline either: not tested"
        par_natif "$B" 3 nouvelle-ligne-retour
    fi

    # Missing file: whatever it shows now must survive. A later layout change through our tool is the
    # barrier: once it shows, the desktop has seen every request made before it.
    par_natif "$A" 3 avant-absent
    local avant apres colonne_absent=ok
    avant=$(natif_lire)
    outil "$TRAVAIL/absent.png"
    rc=$?
    resultat "$rc" "a missing file: appliquer finishes (status $rc)"
    [ "$rc" = 0 ] || colonne_absent=FAIL
    # Where our layout change hands over a picture of its own, the setting is read before it.
    [ -z "$DISPOSITION_AVEC_IMAGE" ] || apres=$(natif_lire)
    par_outil "$A" 4 absent --position 4
    rc=$?
    resultat "$rc" "a missing file leaves the picture on screen"
    [ "$rc" = 0 ] || colonne_absent=FAIL
    [ -n "$DISPOSITION_AVEC_IMAGE" ] || apres=$(natif_lire)
    [ "$avant" = "$apres" ]
    rc=$?
    resultat "$rc" "a missing file leaves the desktop's setting alone (before: $avant, after: $apres)"
    [ "$rc" = 0 ] || colonne_absent=FAIL

    kill -0 "$bureau_pid" 2>/dev/null
    rc=$?
    resultat "$rc" "the desktop is still running at the end"
    [ "$rc" = 0 ] || tail -3 "$TRAVAIL/traces/bureau.log"

    ligne_tableau "${verifiees% }" "$colonne_hostile" "$colonne_ligne" "$colonne_absent" "$demarrage" \
        "$(mediane "${t_outil[@]}")" "$(mediane "${t_natif[@]}")"
    [ "$ECHECS" = 0 ]
}
