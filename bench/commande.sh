#!/bin/bash
# `papirol2 --changer` beside a click on the tray icon, on a private Xvfb with a tray host.
# Usage: bench/commande.sh <build dir> [rounds]   (needs the papirol2 and commande targets)
set -u
ici=$(cd "$(dirname "$0")" && pwd)
construction=$(cd "${1:?usage: $0 <build dir> [rounds]}" && pwd) || exit 1
exec "$ici/../tests/avec-xvfb.sh" --trayer "$construction/bench/commande" "$construction/src/app/papirol2" "${2:-15}"
