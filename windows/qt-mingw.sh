#!/bin/bash
# Makes the static Qt for 64-bit Windows that the Windows build links against, installed in DEST.
# With a TARBALL (a former result of this script), unpacks it; otherwise builds qtbase from Debian 13's own source
# with Debian 13's MinGW-w64: about 30 minutes on two cores and 1,333 build steps.
# Usage: qt-mingw.sh DEST [TARBALL]
# PAPIROL2_QT_CONFIGURER_SEULEMENT=1 stops a source build after configure (to check the recipe quickly).
set -euo pipefail
dest=$(realpath -m "$1")
archive=${2:-}
ici=$(cd "$(dirname "$0")" && pwd)
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

if [ -e "$dest/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
    exit 0
fi
rm -rf "$dest" # what an interrupted run left
mkdir -p "$(dirname "$dest")"
travail=$(mktemp -d "$(dirname "$dest")/.qt-mingw.XXXXXX")
trap 'rm -rf "$travail"' EXIT

if [ -n "$archive" ] && [ -r "$archive" ]; then
    echo "Unpacking $archive into $dest"
    tar -xJf "$archive" -C "$travail"
    mv "$travail"/*/ "$dest"
    exit 0
fi

echo "Building a static Qt for Windows from Debian's source into $dest (about 30 minutes)"
# apt-get source needs the mirror's source index: the same entries as the system's, for sources, in either form.
if ! apt-get source --dry-run qt6-base >/dev/null 2>&1; then
    { cat /etc/apt/sources.list 2>/dev/null || true; } | sed -n 's/^deb /deb-src /p' \
        | $sudo tee /etc/apt/sources.list.d/papirol2-sources.list >/dev/null
    for f in /etc/apt/sources.list.d/*.sources; do
        case $f in */papirol2-sources.sources | *'*'*) ;; *) sed 's/^Types: deb$/Types: deb-src/' "$f" && echo ;; esac
    done | $sudo tee /etc/apt/sources.list.d/papirol2-sources.sources >/dev/null
    $sudo apt-get update -qq
fi
cd "$travail"
apt-get source --download-only qt6-base
dpkg-source -x --skip-patches qt6-base_*.dsc source >/dev/null
cd source
# Upstream and security fixes only; Debian's own patches (install layout, cross-building for Debian, plugins left
# out of static links) are for Debian's packages.
grep -v '^#' debian/patches/series | grep -E '^(upstream|cve|CVE)|cve-|detection' | while read -r correctif; do
    patch -p1 -s <"debian/patches/$correctif"
done
# 6.8 no longer compiles without DirectWrite, which would take GDI's place as the font engine.
patch -p1 -s <"$ici/qt-6.8.2-no-directwrite.patch"

# The host tools (moc, rcc, uic) come from Debian's qt6-base-dev-tools, and the CMake packages that find them from
# qt6-base-dev, both of the same version.
# The toolchain file goes first into the install's root, where Qt's own toolchain file will look for it.
mkdir -p "$dest"
cp "$ici/mingw-w64-x86_64.cmake" "$dest/"
cd "$travail"
mkdir construction
cd construction
nice ../source/configure -prefix "$dest" -release -static -static-runtime -qt-host-path /usr \
    -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-feature-vulkan \
    -no-feature-sql -no-feature-printsupport -no-feature-concurrent \
    -no-feature-xml -no-feature-tabletevent -no-feature-direct2d -no-feature-directwrite \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion \
    -- -DCMAKE_TOOLCHAIN_FILE="$dest/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
if [ "${PAPIROL2_QT_CONFIGURER_SEULEMENT:-}" = 1 ]; then
    echo "Configured in $travail/construction; stopping there as asked"
    trap - EXIT
    exit 0
fi
nice cmake --build . --parallel
cmake --install .
