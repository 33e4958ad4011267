#!/usr/bin/env python3
"""Draws the 48x48 RGBA application icon (a flat-screen monitor showing a blue desktop).

Only the standard library is used, so the picture can be redrawn on any machine:
    python3 dessiner-icone.py ../Papirol2.png
    convert ../Papirol2.png -define icon:auto-resize=48 ../papirol2.ico
"""

import struct
import sys
import zlib

TAILLE = 48
SUREC = 4  # subsamples per axis, for smooth rounded corners


def rectangle_arrondi(x0, y0, x1, y1, r):
    def dedans(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return dedans


def uni(couleur):
    return lambda x, y: couleur


def degrade(haut, bas, y0, y1):
    def couleur(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(round(a + (b - a) * t) for a, b in zip(haut, bas))

    return couleur


# Painted back to front: the last shape containing a point gives its colour.
FORMES = [
    (rectangle_arrondi(13, 41, 35, 45, 1.5), uni((70, 76, 86))),  # foot
    (rectangle_arrondi(21, 35, 27, 42, 0), uni((92, 99, 110))),  # neck
    (rectangle_arrondi(2, 5, 46, 37, 3), uni((40, 44, 52))),  # bezel
    (rectangle_arrondi(5, 8, 43, 34, 0.5), degrade((86, 160, 240), (24, 84, 190), 8, 34)),  # desktop
    (rectangle_arrondi(5, 31, 43, 34, 0), uni((16, 52, 120))),  # taskbar
    (rectangle_arrondi(6, 31.5, 9, 33.5, 0), uni((120, 200, 255))),  # start button
    (rectangle_arrondi(7, 10, 10, 13, 0.5), uni((235, 240, 248))),  # desktop icons
    (rectangle_arrondi(7, 15, 10, 18, 0.5), uni((235, 240, 248))),
    (rectangle_arrondi(7, 20, 10, 23, 0.5), uni((250, 214, 90))),
    (rectangle_arrondi(5, 5.5, 43, 6.5, 0), uni((72, 78, 90))),  # bezel highlight
]


def pixel(px, py):
    somme = [0.0, 0.0, 0.0]
    couverts = 0
    for sy in range(SUREC):
        for sx in range(SUREC):
            x = px + (sx + 0.5) / SUREC
            y = py + (sy + 0.5) / SUREC
            trouve = None
            for dedans, couleur in FORMES:
                if dedans(x, y):
                    trouve = couleur(x, y)
            if trouve is not None:
                couverts += 1
                for i in range(3):
                    somme[i] += trouve[i]
    if couverts == 0:
        return (0, 0, 0, 0)
    return tuple(round(c / couverts) for c in somme) + (round(255 * couverts / SUREC**2),)


def png(largeur, hauteur, lignes):
    def bloc(type_, donnees):
        return (struct.pack(">I", len(donnees)) + type_ + donnees
                + struct.pack(">I", zlib.crc32(type_ + donnees) & 0xFFFFFFFF))

    brut = b"".join(b"\x00" + bytes(v for p in ligne for v in p) for ligne in lignes)
    return (b"\x89PNG\r\n\x1a\n"
            + bloc(b"IHDR", struct.pack(">IIBBBBB", largeur, hauteur, 8, 6, 0, 0, 0))
            + bloc(b"IDAT", zlib.compress(brut, 9))
            + bloc(b"IEND", b""))


def main():
    sortie = sys.argv[1] if len(sys.argv) > 1 else "Papirol2.png"
    lignes = [[pixel(x, y) for x in range(TAILLE)] for y in range(TAILLE)]
    with open(sortie, "wb") as f:
        f.write(png(TAILLE, TAILLE, lignes))


if __name__ == "__main__":
    main()
