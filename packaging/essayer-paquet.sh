#!/bin/bash
# essayer-paquet.sh <papirol2_*.deb> <cache folder>: installs the package with apt in a fresh root of this
# machine's Debian release (a package built on Debian 12 in a Debian 12 root, one built on 13 in a 13 root),
# starts it there on this machine's X server with a tray host (run under tests/avec-xvfb.sh --trayer),
# checks that it changes the wallpaper, then removes and purges it and checks that nothing is left behind.
# The cache folder keeps the bare root and the downloaded packages between runs. Needs root.
set -euo pipefail
if [ -z "${PAPIROL2_ESPACE_PRIVE:-}" ]; then
    # A mount namespace of its own: the root's mounts vanish with the script, however it ends.
    exec unshare --mount --propagation private env PAPIROL2_ESPACE_PRIVE=1 "$0" "$@"
fi
paquet=$(realpath "$1")
cache=$(realpath -m "$2")
mkdir -p "$cache/archives/partial"

echec() {
    echo "essayer-paquet: $*" >&2
    exit 1
}
etape() { echo "== $(date +%T) $*"; }

suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
miroir=$("$(dirname "$0")/miroir.sh") || echec "no root made"

racine=$(mktemp -d)
pid=
montages=()
nettoyer() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
    fi
    # Unmounted first: removing the root must not reach the X sockets or the cache through a bind mount.
    for ((i = ${#montages[@]} - 1; i >= 0; i--)); do
        umount "${montages[i]}" || { echo "essayer-paquet: ${montages[i]} still mounted, $racine kept" >&2; return; }
    done
    rm -rf "$racine"
}
trap nettoyer EXIT
monter() {
    mount "$@"
    montages+=("${*: -1}")
}
chmod 755 "$racine"
nue="$cache/$suite.tar"
if [ ! -s "$nue" ]; then
    # mmdebstrap rather than debootstrap: the same minbase root, two to three times faster.
    etape "mmdebstrap $suite from $miroir"
    mmdebstrap --variant=minbase --format=tar --dpkgopt=force-unsafe-io "$suite" "$nue.part" "$miroir" \
        >"$cache/mmdebstrap.log" 2>&1 || { tail -n 20 "$cache/mmdebstrap.log"; echec "mmdebstrap failed"; }
    mv "$nue.part" "$nue"
fi
etape "bare root from $nue"
tar --numeric-owner -xpf "$nue" -C "$racine"
# This machine's sources, updates and security included, in whichever form it keeps them.
if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null || [ -s /etc/apt/sources.list ]; then
    rm -f "$racine/etc/apt/sources.list"
    cp /etc/apt/sources.list.d/*.sources "$racine/etc/apt/sources.list.d/" 2>/dev/null || true
    [ ! -s /etc/apt/sources.list ] || cp /etc/apt/sources.list "$racine/etc/apt/"
fi
monter -t proc proc "$racine/proc"
monter --bind "$cache/archives" "$racine/var/cache/apt/archives"
mkdir -p "$racine/tmp/.X11-unix"
monter --bind /tmp/.X11-unix "$racine/tmp/.X11-unix"
monter -t devpts devpts "$racine/dev/pts"
# A root thrown away after the test needs no fsync from dpkg, which would take most of the time.
echo force-unsafe-io >"$racine/etc/dpkg/dpkg.cfg.d/essai"

dedans() { chroot "$racine" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# Every path in the root except the package manager's own records, caches and logs, and scratch space.
fichiers() {
    (cd "$racine" && find . \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./run -o -path ./var/cache \
        -o -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/log \) -prune -o -print | sort)
}

etape "apt-get update"
dedans chown _apt:root /var/lib/apt/lists/partial /var/cache/apt/archives/partial
dedans apt-get update -qq

cp "$paquet" "$racine/tmp/"
etape "apt install ./$(basename "$paquet")"
dedans apt-get install -y -qq "/tmp/$(basename "$paquet")" >"$cache/installation.log" 2>&1 \
    || { tail -n 20 "$cache/installation.log"; echec "apt could not install the package"; }
echo "$(dedans dpkg-query -W -f='${binary:Package}\n' | wc -l) packages installed in the root"
installes=$(dedans dpkg -L papirol2)
[ -x "$racine/usr/bin/papirol2" ] || echec "no /usr/bin/papirol2"
[ ! -e "$racine/etc/xdg/autostart/papirol2.desktop" ] || echec "installing makes the program start at login"

etape "papirol2 under X with a tray host"
maison=/tmp/maison
mkdir -p "$racine$maison/Images" && chmod 700 "$racine$maison"
convert -size 64x48 xc:'#c81e1e' "$racine$maison/Images/rouge.jpg"
convert -size 64x48 xc:'#1eb43c' "$racine$maison/Images/vert.jpg"
printf '[Options]\nactive=true\ntimer=600\n[Emplacement_0]\npath=%s/Images\nfiltre=*.jpg\nselected=true\n' "$maison" \
    >"$racine$maison/Papirol2.ini"
pixel() { import -window root -depth 8 -crop 1x1+10+10 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}'; }
fond=$(pixel)
chroot "$racine" env -i PATH=/usr/bin:/bin HOME=$maison XDG_RUNTIME_DIR=$maison DISPLAY="$DISPLAY" \
    PAPIROL2_BUREAU=x11 QT_LOGGING_RULES='papirol2.*=true' sh -c "cd $maison && exec papirol2" >"$cache/papirol2.log" 2>&1 &
pid=$!
icone() {
    comm -23 <(xdotool search --onlyvisible --class papirol2 | sort) \
        <(xdotool search --onlyvisible --maxdepth 1 --class papirol2 | sort) | grep -q .
}
change() {
    xprop -root _XROOTPMAP_ID | grep -q 'pixmap id' && [ "$(pixel)" != "$fond" ] && [ -n "$(pixel)" ]
}
for _ in $(seq 300); do
    icone && change && break
    kill -0 "$pid" 2>/dev/null || { cat "$cache/papirol2.log"; echec "papirol2 ended"; }
    sleep 0.1
done
icone || { cat "$cache/papirol2.log"; echec "no icon in the tray"; }
change || { cat "$cache/papirol2.log"; echec "the wallpaper did not change (root pixel $(pixel))"; }
echo "icon in the tray; root pixel $fond -> $(pixel)"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
rm -rf "${racine:?}$maison"

etape "apt remove papirol2"
installe=$(fichiers)
dedans apt-get remove -y -qq papirol2 >>"$cache/installation.log" 2>&1
retire=$(fichiers)
nouveaux=$(comm -13 <(echo "$installe") <(echo "$retire"))
[ -z "$nouveaux" ] || echec "apt remove added: $nouveaux"
# What the package held is gone, but for folders that other packages hold too.
restes=$(while read -r f; do [ -e "$racine$f" ] && echo "$f"; done <<<"$installes" || true)
for f in $restes; do
    [ -d "$racine$f" ] && dedans dpkg-query -S "$f" >/dev/null 2>&1 || echec "apt remove left $f"
done
echo "$(comm -23 <(echo "$installe") <(echo "$retire") | wc -l) paths removed, none left"

# apt no longer knows a package installed from a file once it is removed; dpkg purges what may remain.
etape "purge papirol2"
dedans dpkg --purge papirol2 >>"$cache/installation.log" 2>&1
dedans dpkg-query -W -f='${db:Status-Status}\n' papirol2 2>/dev/null | grep -qv not-installed \
    && echec "dpkg still knows papirol2"
diff <(echo "$retire") <(fichiers) || echec "purging changed files"
etape "installed, ran, removed and purged cleanly"
