#!/bin/bash
# Runs one command on a private D-Bus session bus whose on-demand services (xfconfd…) keep their
# files in throwaway folders: they take the bus daemon's environment, so it is set before the bus starts.
set -u
racine=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-dbus.XXXXXX") || exit 1
trap 'rm -rf "$racine"' EXIT
mkdir -p "$racine/home" "$racine/config" "$racine/cache" "$racine/data" "$racine/run"
chmod 700 "$racine/run"
export HOME="$racine/home"
export XDG_CONFIG_HOME="$racine/config"
export XDG_CACHE_HOME="$racine/cache"
export XDG_DATA_HOME="$racine/data"
export XDG_RUNTIME_DIR="$racine/run"
unset DBUS_SESSION_BUS_ADDRESS
# No trap on the bus: dbus-run-session stops the daemon and what it started when the command ends.
dbus-run-session -- "$@"
