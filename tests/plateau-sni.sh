#!/bin/bash
# The tray icon over StatusNotifierItem, on X11: the program starts beside an XEmbed tray only, a StatusNotifier
# watcher and host come after, and the icon must move to them with its menu whole, then come back to the XEmbed
# tray when they leave. Under avec-xvfb.sh --trayer and avec-dbus.sh. Usage: plateau-sni.sh <papirol2>
set -u
ici=$(dirname "$(realpath "$0")")
dossier=$(mktemp -d) || exit 1
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$dossier"' EXIT
mkdir "$dossier/images"
for c in red blue lime; do convert -size 64x48 "xc:$c" "$dossier/images/$c.jpg" || exit 1; done
printf '[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%s\nfiltre=*.jpg\nselected=true\n' \
    "$dossier/images" >"$dossier/Papirol2.ini"
programme=$(realpath "$1")
cd "$dossier" && exec "$programme" &
pid=$!
icone() { for _ in $(seq 100); do xdotool search --onlyvisible --class papirol2 >/dev/null 2>&1 && return; sleep 0.1; done; false; }
icone || { echo "FAIL - no XEmbed icon at start"; exit 1; }
"$ici/sni.py" hote &
"$ici/sni.py" verifier "$pid" "$XDG_CONFIG_HOME" "$dossier/images" || exit 1
kill %2
icone || { echo "FAIL - the icon did not come back to XEmbed"; exit 1; }
echo "ok   - the icon came back to the XEmbed tray"
(cd "$dossier" && "$programme" --quitter) && wait "$pid"
