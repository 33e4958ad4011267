#!/bin/bash
# Runs a command, its environment kept, as papirol2-test, made for the purpose, when run as root (desktops and
# compositors refuse root, or should); as anyone else, as that user. With --nom, only prints the user's name.
set -u
utilisateur=papirol2-test
[ "$(id -u)" = 0 ] || utilisateur=$(id -un)
id -u "$utilisateur" >/dev/null 2>&1 || useradd --system --user-group --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$utilisateur" || id -u "$utilisateur" >/dev/null || exit 1
if [ "${1:-}" = --nom ]; then echo "$utilisateur"; exit; fi
[ "$(id -u)" = 0 ] || exec "$@"
exec setpriv --reuid="$utilisateur" --regid="$utilisateur" --init-groups -- "$@"
