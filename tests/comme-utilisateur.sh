#!/bin/bash
# Runs a command as papirol2-test, made for the purpose, when run as root: desktops and compositors refuse
# root, or should. The environment is kept as given. As anyone else, runs it as that user.
# With --nom, only makes the user and prints its name.
set -u
utilisateur=papirol2-test
if [ "$(id -u)" != 0 ]; then
    if [ "${1:-}" = --nom ]; then id -un; else exec "$@"; fi
    exit
fi
id -u "$utilisateur" >/dev/null 2>&1 || useradd --system --user-group --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$utilisateur" || id -u "$utilisateur" >/dev/null || exit 1
if [ "${1:-}" = --nom ]; then echo "$utilisateur"; exit; fi
exec setpriv --reuid="$utilisateur" --regid="$utilisateur" --init-groups -- "$@"
