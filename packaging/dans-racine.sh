#!/bin/bash
# dans-racine.sh [--sur-place] [--lire FOLDER]… ROOT COMMAND…: runs COMMAND, as root, in a copy of this clone
# inside the Debian root ROOT (PAPIROL2_SUITE, trixie unless told), making the root with mmdebstrap when it is
# missing. The root only holds apt and make: the project's own Makefile installs the rest there, as on a fresh
# machine, and what it installs stays for the next run. The copy lives on a tmpfs of this run and is gone with
# it; --sur-place puts the clone itself at its own path instead, what COMMAND builds there left to the clone's
# owner. --lire shows FOLDER read-only at its own path. The root's mounts and every process left in it end
# with the command, however it ends. Needs root.
set -euo pipefail
if [ -z "${PAPIROL2_DANS_RACINE:-}" ]; then
    # Mount and PID namespaces of its own: what the command leaves running is killed when it ends, and the
    # mounts go with it, even if this script is killed before its trap runs.
    exec unshare --mount --propagation private --pid --fork --kill-child=TERM env PAPIROL2_DANS_RACINE=1 "$0" "$@"
fi
sur_place=0 lire=()
while [[ "${1:-}" == --sur-place || "${1:-}" == --lire ]]; do
    [ "$1" = --sur-place ] && sur_place=1 || { lire+=("$(realpath "$2")") && shift; }
    shift
done
if [ $# -lt 2 ]; then
    echo "usage: $0 [--sur-place] [--lire FOLDER]… ROOT COMMAND…" >&2
    exit 2
fi
racine=$(realpath -m "$1")
shift
suite=${PAPIROL2_SUITE:-trixie}
clone=$(realpath "$(dirname "$0")/..")
etape() { echo "== dans-racine $(date +%T) $*"; }

mkdir -p "$(dirname "$racine")"
# One run makes the root; another that wants it meanwhile waits.
exec 9>"$racine.verrou"
flock 9
if [ ! -x "$racine/usr/bin/make" ]; then
    manquants=()
    command -v mmdebstrap >/dev/null || manquants+=(mmdebstrap)
    [ -e /usr/share/keyrings/debian-archive-keyring.gpg ] || manquants+=(debian-archive-keyring)
    if [ ${#manquants[@]} -gt 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${manquants[@]}"
    fi
    miroir=$("$clone/packaging/miroir.sh") || { echo "dans-racine: no root made" >&2; exit 1; }
    debut=$SECONDS
    etape "making $racine: mmdebstrap $suite from $miroir"
    rm -rf "$racine.part"
    # A root made again when missing needs no fsync from dpkg, there or in the installs that follow.
    mmdebstrap --variant=minbase --include=make --dpkgopt=force-unsafe-io "$suite" "$racine.part" "$miroir" \
        >"$racine.log" 2>&1 || { tail -n 20 "$racine.log"; echo "dans-racine: mmdebstrap failed" >&2; exit 1; }
    # Nor the packages once installed; and two runs in it at once take turns at dpkg.
    printf 'APT::Keep-Downloaded-Packages "false";\nDPkg::Lock::Timeout "600";\n' \
        >"$racine.part/etc/apt/apt.conf.d/80dans-racine"
    rm -rf "$racine"
    mv "$racine.part" "$racine"
    etape "root made in $((SECONDS - debut)) s, $(du -sh "$racine" | cut -f1)"
fi
exec 9>&-

montages=()
demonter() {
    local i
    for ((i = ${#montages[@]} - 1; i >= 0; i--)); do
        umount "${montages[i]}" 2>/dev/null || umount --lazy "${montages[i]}" || true
    done
}
trap demonter EXIT
trap 'exit 143' TERM INT HUP
monter() {
    mount "$@"
    montages+=("${*: -1}")
}
# The root a mount of its own, so that a namespace made in it (unshare --propagation) finds / a mount point.
monter --bind "$racine" "$racine"
monter -t proc proc "$racine/proc"
monter --bind /sys "$racine/sys"
monter --bind /dev "$racine/dev"
monter --bind /dev/pts "$racine/dev/pts"
# wlroots compositors allocate their buffers in /dev/shm: without it grim cannot grab a screen.
monter -t tmpfs -o mode=1777 shm "$racine/dev/shm"
monter -t tmpfs -o mode=1777 tmp "$racine/tmp"
monter -t tmpfs -o mode=755 run "$racine/run"
cp -L /etc/resolv.conf "$racine/etc/resolv.conf"

for dossier in "${lire[@]}"; do
    mkdir -p "$racine$dossier" && monter --bind -o ro "$dossier" "$racine$dossier"
done
if [ "$sur_place" = 1 ]; then
    copie=$clone
    mkdir -p "$racine$copie" && monter --bind "$clone" "$racine$copie"
else
    # Not under /tmp, which the real-desktop suite covers with a tmpfs of its own.
    copie=/var/tmp/papirol2
    mkdir -p "$racine$copie" && monter -t tmpfs -o mode=755 copie "$racine$copie"
    # The files of the clone as they are now, committed or not, without build folders or what git ignores.
    if git -C "$clone" -c safe.directory="*" rev-parse --git-dir >/dev/null 2>&1; then
        (cd "$clone" && git -c safe.directory="*" ls-files -z --cached --others --exclude-standard \
            | tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$racine$copie"
    else
        tar -C "$clone" --exclude='./build*' -cf - . | tar -xf - -C "$racine$copie"
    fi
fi
etape "$* in $suite, in $copie"
variables=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
    DEBIAN_FRONTEND=noninteractive TERM="${TERM:-dumb}")
while IFS= read -r v; do variables+=("$v"); done < <(env | grep -E '^(CI|PAPIROL2_[A-Z_]*|QT_LOGGING_RULES)=' \
    | grep -v '^PAPIROL2_DANS_RACINE=' || true)
rc=0
chroot "$racine" env -i "${variables[@]}" sh -c 'cd "$0" && exec "$@"' "$copie" "$@" || rc=$?
[ "$sur_place" = 0 ] || chown -R --from=0:0 "$(stat -c %u:%g "$clone")" "$clone"
etape "$* in $suite: exit $rc"
exit $rc
