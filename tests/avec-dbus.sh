#!/bin/bash
# Runs one command on a private D-Bus session bus whose on-demand services (xfconfd…) keep their files in
# throwaway folders: they take the bus daemon's environment, so it is set before the bus starts. dbus-run-session
# stops the daemon and what it started when the command ends.
set -u
racine=$(mktemp -d "${TMPDIR:-/tmp}/papirol2-dbus.XXXXXX") || exit 1
trap 'rm -rf "$racine"' EXIT
mkdir -p "$racine"/{home,config,cache,data,run} && chmod 700 "$racine/run"
export HOME="$racine/home" XDG_CONFIG_HOME="$racine/config" XDG_CACHE_HOME="$racine/cache" \
    XDG_DATA_HOME="$racine/data" XDG_RUNTIME_DIR="$racine/run"
unset DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- "$@"
