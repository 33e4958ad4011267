# shellcheck shell=bash disable=SC2015
# Sourced by bureaux.sh, which then sets what differs per desktop. Outside (ctest, root), private PID, mount and
# network namespaces, so that nothing started outlives the run and the display and /tmp are its own; in them, root
# starts Xvfb and a session bus as a user of its own (desktops refuse root), which runs the desktop and the checks.
# A desktop gives COMMANDES, BUREAU (its command), BUS (held once it takes changes), natif_appliquer <file> (its own
# tool), and where it differs: MOTEUR (our backend), CAPTURE (appliquer's options to watch it), AVANT_BUREAU=oui (a
# picture asked before it runs, as at login), HOTE_SNI=oui (the tray icon through its StatusNotifier host),
# bureau_racine|avant|demarrer|pret, lire (the URI and the layout, OPTIONS[n], that its store holds) where its
# screen cannot be watched, and PAR_ECRAN=oui where our backend gives each monitor its picture: then a second
# monitor comes (ecrans; on Xvfb, RandR monitors g and d, which GTK and Plasma 5 desktops do not take, having no
# output, so only the store tells), and lire_ecrans (each monitor's picture, primary first) or ETALE (GSettings
# schema and key of one picture spanned over them) reads the store where the screen cannot tell.
DELAI=15 CAPTURE=() PIDS=() ECHECS=0

executer() { case "${1:-}" in --espace) etape_espace "$2" "$3" ;; --dedans) etape_dedans ;; *) etape_dehors "$@" ;; esac; }
passer() { echo "SKIP: $FAMILLE: $1"; exit 77; } # <reason>: ctest reports the test as skipped
lancer() { "${@:2}" >"$TRAVAIL/traces/$1.log" 2>&1 & PIDS+=("$!"); } # <log name> <command...>: stopped at the end
resultat() { if [ "$1" = 0 ]; then echo "ok   - $FAMILLE: $2"; else echo "FAIL - $FAMILLE: $2"; ECHECS=$((ECHECS + 1)); fi; } # <rc> <what>
sur_le_bus() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -qx '(true,)'; } # <name>
bureau_demarrer() { lancer bureau "${BUREAU[@]}"; }
bureau_pret() { [ -z "${BUS:-}" ] || sur_le_bus "$BUS"; }
# Our backend for this desktop; with --voir, waits for the screen to show that picture.
outil() { QT_LOGGING_RULES="papirol2.*=true" PAPIROL2_BUREAU="${MOTEUR:-$FAMILLE}" "$TRAVAIL/outils/appliquer" "${CAPTURE[@]}" "$@" 2>>"$TRAVAIL/traces/appliquer.log"; }

voir() { # <file set> <picture> <layout, 0: any> <seconds>: true once the desktop shows it, on screen or in its store
    declare -F lire >/dev/null || { outil --voir "$2" --en "$3" --pendant "$4"; return; }
    local fin=$((SECONDS + $4)) lu
    # Each line as the store writes it, a GVariant string or bare, holding a URI.
    until lu=$(lire 2>/dev/null | python3 -c 'import ast, sys, urllib.parse as u
for l in sys.stdin.read().split("\n"): print(u.unquote(ast.literal_eval(l) if l and l[0] in "\x27\x22" else l))') &&
        [ "${lu%%$'\n'*}" = "file://$1" ] && { [ "$3" = 0 ] || [ "$(sed -n 2p <<<"$lu")" = "${OPTIONS[$3]}" ]; }; do
        [ "$SECONDS" -lt "$fin" ] && sleep 0.2 || { echo "$FAMILLE has: $lu" >>"$TRAVAIL/traces/voir.log"; return 1; }
    done
}

# A second monitor of another size plugged in (2) or out (1) on Xvfb; a Wayland desktop gives its own, or says how.
ecrans() { [ -n "${WAYLAND_DISPLAY:-}" ] || if [ "$1" = 2 ]; then xrandr --setmonitor g 200/50x240/60+0+0 screen &&
    xrandr --setmonitor d 120/30x160/40+200+0 none; else xrandr --delmonitor d && xrandr --delmonitor g; fi; }
par_ecran() { # <layout>: A on the primary monitor and B on the other; in the store, or each in its rectangle of the
    # screen or of the one picture spanned over them that ETALE names
    ecrans 2 && outil --position "$1" "$A" "$B" || return 1
    if declare -F lire_ecrans >/dev/null; then [ "$(lire_ecrans)" = "$A"$'\n'"$B" ]; return; fi
    [ -n "${ETALE:-}" ] || { outil --voir "$A" --voir "$B" --en "$1" --pendant "$DELAI"; return; }
    local f && f=$(gsettings get "${ETALE[@]}") && [ "$(gsettings get "${ETALE[0]}" picture-options)" = "'spanned'" ] &&
        f=${f//\'/} && outil --dans "${f#file://}" --voir "$A" --voir "$B" --en "$1"
}

etape_dehors() {
    [ "$#" = 2 ] && [ -x "$1" ] && [ -x "$2" ] || { echo "usage: $0 <desktop> <appliquer> <papirol2>" >&2; exit 2; }
    local c manquantes=() refus espace=(unshare --pid --fork --kill-child --mount --net --mount-proc)
    for c in unshare setpriv useradd xvfb-run Xvfb dbus-run-session convert "${COMMANDES[@]}"; do command -v "$c" >/dev/null || manquantes+=("$c"); done
    [ "${#manquantes[@]}" = 0 ] || passer "not installed: ${manquantes[*]} (make test-bureaux installs PAQUETS_BUREAUX)"
    [ "$(id -u)" = 0 ] || passer "must run as root, to make namespaces and a user of its own"
    # A chroot whose root is no mount point, or a container without the right, cannot give them.
    refus=$("${espace[@]}" true 2>&1) || passer "cannot make private namespaces here: $refus"
    exec "${espace[@]}" bash "$(realpath "$0")" "$CAS" --espace "$(realpath "$1")" "$(realpath "$2")"
}

etape_espace() {
    local ici utilisateur rc
    ici=$(dirname "$(realpath "$0")")
    # The checkout and the build may lie under /tmp, which the private /tmp hides, and the user cannot enter the
    # build folder anyway: the run works in a tmpfs of this namespace, what it needs copied there first.
    TRAVAIL=/mnt
    mount -t tmpfs -o mode=0755 tmpfs "$TRAVAIL" && mkdir -p "$TRAVAIL"/{outils,maison,run,traces} \
        && cp "$ici/commun.sh" "$ici/../sni.py" "$ici/../comme-utilisateur.sh" "$0" "$1" "$2" "$TRAVAIL/outils/" \
        && mount -t tmpfs -o mode=1777 tmpfs /tmp || exit 1
    utilisateur=$("$TRAVAIL/outils/comme-utilisateur.sh" --nom) || exit 1
    if declare -F bureau_racine >/dev/null; then bureau_racine || exit 1; fi
    chmod 0700 "$TRAVAIL/run" && chown -R "$utilisateur:" "$TRAVAIL" || exit 1
    "$TRAVAIL/outils/comme-utilisateur.sh" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8 \
        USER="$utilisateur" LOGNAME="$utilisateur" HOME="$TRAVAIL/maison" TRAVAIL="$TRAVAIL" \
        XDG_CONFIG_HOME="$TRAVAIL/maison/.config" XDG_CACHE_HOME="$TRAVAIL/maison/.cache" \
        XDG_DATA_HOME="$TRAVAIL/maison/.local/share" XDG_RUNTIME_DIR="$TRAVAIL/run" \
        xvfb-run -a -s "-screen 0 320x240x24 -nolisten tcp" \
        dbus-run-session -- bash "$TRAVAIL/outils/$(basename "$0")" "$CAS" --dedans
    rc=$?
    # The traces folder may be under the /tmp that the private one hides.
    [ -z "${PAPIROL2_TRACES:-}" ] || { umount -l /tmp; rm -rf "${PAPIROL2_TRACES:?}/$FAMILLE"
        mkdir -p "$PAPIROL2_TRACES" && cp -r "$TRAVAIL/traces" "$PAPIROL2_TRACES/$FAMILLE"; }
    exit "$rc"
}

etape_dedans() {
    # shellcheck disable=SC2154 # p is the trap's own
    trap 'for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done; wait' EXIT
    trap 'exit 130' INT TERM
    cd "$TRAVAIL" && mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" || exit 1
    local A="$TRAVAIL/quadrants.png" B="$TRAVAIL/inverse.png" debut=$SECONDS avant i n f c0 c1 c2 c3 programme rc
    # 100x50 in four flat colours, split off-centre so that fill and stretch differ; B has A's colours swapped.
    for i in "$A red lime blue yellow" "$B yellow blue lime red"; do
        read -r f c0 c1 c2 c3 <<<"$i" && convert -size 100x50 "xc:$c3" -fill "$c0" -draw 'rectangle 0,0 29,19' \
            -fill "$c1" -draw 'rectangle 30,0 99,19' -fill "$c2" -draw 'rectangle 0,20 29,49' "PNG24:$f" || exit 1
    done

    # Start: the desktop shows B, set with its own tool, before our tool is involved; or, as at login, A asked
    # of our tool before the desktop runs. The desktop starts once it has asked: done, or told to wait for it.
    if declare -F bureau_avant >/dev/null; then bureau_avant "$B"; fi
    if [ "${AVANT_BUREAU:-}" = oui ]; then
        outil --delai 150 "$A" & avant=$!
        for ((i = 0; i < 100; i++)); do kill -0 "$avant" 2>/dev/null && ! grep -q "on the bus yet" traces/appliquer.log && sleep 0.2 || break; done
    fi
    bureau_demarrer
    local bureau_pid="${PIDS[-1]}"
    until bureau_pret; do
        kill -0 "$bureau_pid" 2>/dev/null && [ $((SECONDS - debut)) -le 90 ] && sleep 0.2 && continue
        echo "FAIL - $FAMILLE: the desktop exited or was not ready within 90 s (traces: bureau.log)" && tail -5 traces/bureau.log; exit 1
    done
    [ -z "${avant:-}" ] || { wait "$avant" && voir "$A" "$A" 0 "$DELAI"
        resultat $? "a picture asked before the desktop ran is shown once it runs"; }
    natif_appliquer "$B" >>"$TRAVAIL/traces/natif.log" 2>&1
    voir "$B" "$B" 0 90 || { echo "FAIL - $FAMILLE: the desktop never showed a picture set with its own tool"; exit 1; }

    # Layouts: each differs from the one before, so a change that did not happen cannot pass.
    for n in 1 2 3 4 5; do
        outil --position "$n" "$A" && voir "$A" "$A" "$n" "$DELAI"; resultat $? "layout $n shows the picture as expected"
    done

    # A name full of what quoting, URIs and config files get wrong; B's pixels, A on screen before.
    local hostile="$TRAVAIL/dossier é 'x'/l'image \"q\" back\\slash 100%41 #1 été ñ.png"
    mkdir -p "${hostile%/*}" && cp "$B" "$hostile" && outil --position 3 "$hostile" && voir "$hostile" "$B" 3 "$DELAI"
    resultat $? "a hostile file name shows that very picture"

    if [ "${HOTE_SNI:-}" = oui ]; then
        mkdir -p papirol2/images && convert "$A" papirol2/images/a.jpg && convert "$B" papirol2/images/b.jpg
        printf '%s\n' "[Options]" active=false timer=600 "[Emplacement_0]" "path=$TRAVAIL/papirol2/images" \
            "filtre=*.jpg" selected=true >papirol2/Papirol2.ini
        (cd papirol2 && QT_LOGGING_RULES="papirol2.*=true" PAPIROL2_BUREAU="${MOTEUR:-$FAMILLE}" exec "$TRAVAIL/outils/papirol2") \
            >traces/papirol2.log 2>&1 & programme=$!
        # The layout in force is the desktop's own here, left by the rows above: its mark is not judged.
        outils/sni.py "$programme" "$XDG_CONFIG_HOME" "$TRAVAIL/papirol2/images" bureau
        rc=$? && resultat "$rc" "the tray icon on the desktop's StatusNotifier host: menu and clicks"
        { [ "$rc" = 0 ] || kill "$programme"; } && wait "$programme"; resultat $? "\"Quitter\" through that menu ends the program with 0"
    fi
    [ -z "${PAR_ECRAN:-}" ] || { par_ecran 3; resultat $? "two monitors, each shows its own picture"
        ecrans 1 && outil "$B" && voir "$B" "$B" 3 "$DELAI"; resultat $? "then one picture again, in the layout it had"; }
    kill -0 "$bureau_pid" 2>/dev/null; resultat $? "the desktop is still running at the end"
    [ "$ECHECS" = 0 ]
}
