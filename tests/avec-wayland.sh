#!/bin/bash
# Runs one test beside a headless wlroots compositor of its own, both as the user of comme-utilisateur.sh, then
# stops it: sway (its IPC socket in SWAYSOCK), sway-nu (sway with no background of its own, which would cover any
# other drawn on the same layer) or phoc (a bare background layer). The test gets its backend in PAPIROL2_BUREAU.
# Usage: avec-wayland.sh sway|sway-nu|phoc <test> [arguments]
set -u
compositeur="$1" bureau=calque fond='set $fond #203040\noutput * {\n    bg $fond solid_color\n    mode 640x480\n}\n'
case "$compositeur" in
sway) bureau=sway ;;
sway-nu) fond='swaybg_command -\noutput * mode 640x480\n' compositeur=sway ;;
phoc) ;;
*) echo "usage: $0 sway|sway-nu|phoc <test> [arguments]" >&2; exit 2 ;;
esac
shift
racine=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-$compositeur.XXXXXX") || exit 1
serveur="" socket=""
trap '[ -n "$serveur" ] && kill "$serveur" 2>/dev/null && wait "$serveur" 2>/dev/null; rm -rf "$racine"' EXIT
trap 'exit 143' TERM INT
chmod 755 "$racine" && mkdir -p "$racine"/{run,config,home} && chmod 700 "$racine/run"
comme=("$(dirname "$(realpath "$0")")/comme-utilisateur.sh")
utilisateur=$("${comme[@]}" --nom) && chown "$utilisateur:" "$racine"/{run,config,home} || exit 1
# A build folder the test user cannot enter (under /root, say): a copy of the test runs instead.
if ! "${comme[@]}" test -x "$1"; then
    cp "$1" "$racine/test" && chmod 755 "$racine/test" && set -- "$racine/test" "${@:2}" || exit 1
fi
printf "$fond" >"$racine/sway.conf" && printf '[output:HEADLESS-1]\nmode = 640x480\n' >"$racine/phoc.ini"
environnement=(PATH="$PATH" HOME="$racine/home" XDG_RUNTIME_DIR="$racine/run" XDG_CONFIG_HOME="$racine/config")
# phoc reads its own settings through GSettings: kept in memory, with no bus to reach.
commande=(sway -c "$racine/sway.conf") && [ "$compositeur" = sway ] || commande=(env GSETTINGS_BACKEND=memory phoc -C "$racine/phoc.ini")
(cd "$racine" && exec env -i "${environnement[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman "${comme[@]}" "${commande[@]}" >"$racine/serveur.log" 2>&1) &
serveur=$!
pret() {
    [ "$compositeur" != sway ] || socket=$(ls "$racine"/run/sway-ipc.*.sock 2>/dev/null | head -n1)
    wayland=$(cd "$racine/run" && ls wayland-? 2>/dev/null | head -n1)
    [ -n "$wayland" ] && { [ "$compositeur" != sway ] || [ -n "$socket" ]; }
}
for _ in $(seq 200); do pret && break; sleep 0.05; done
pret || { echo "$compositeur did not start:" >&2; cat "$racine/serveur.log" >&2; exit 1; }
env -i "${environnement[@]}" ${socket:+SWAYSOCK="$socket"} WAYLAND_DISPLAY="$wayland" QT_QPA_PLATFORM=offscreen PAPIROL2_BUREAU=$bureau \
    ${QT_LOGGING_RULES:+QT_LOGGING_RULES="$QT_LOGGING_RULES"} "${comme[@]}" "$@"
