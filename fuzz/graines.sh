#!/bin/bash
# fuzz/graines.sh FOLDER: a few valid inputs per target, for the fuzzer to start from.
set -euo pipefail
mkdir -p "$1"/{reglages,motif,nomsfichiers,rendu,canal}
cd "$1"
printf '[Options]\nactive=true\ntimer=60\n[Emplacement_0]\npath=/a b\nfiltre=*.jpg\nselected=true\n' >reglages/1
printf '; c\r\n[Emplacement_1]\r\npath="/x,\\"y\\"" ; z\r\nselected=1\r\n\r\n[Emplacement_3]\r\npath=/caf\xe9\r\n' >reglages/2
printf '\xef\xbb\xbf[General]\nk=\\x41\\0\n[Options]\rtimer=5\r' >reglages/3
printf '*.jpg\nIMG_0001.JPG' >motif/1
printf '[a-c]?*.p[!n]g\nb1.pog' >motif/2
printf '*\xc3\xa9*\\*\nCAF\xc3\x89*x' >motif/3
printf 'photo.jpg' >nomsfichiers/1
printf 'changer\n' >canal/1
printf 'quitter\nactiver\n' >canal/2
printf 'caf\xe9 \xed\xb2\x80\xf0\x9f\x98\x80.jpg' >nomsfichiers/2
for format in jpg png gif bmp webp tif; do
    convert -size 24x16 gradient:red-blue "image.$format"
    { printf '\x21\x03'; cat "image.$format"; } >"rendu/$format"
done
convert -size 24x16 gradient:red-blue -interlace Plane image.jpg
{ printf '\x43\x05'; cat image.jpg; } >rendu/progressif
rm -f image.*
