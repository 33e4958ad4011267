#!/usr/bin/env python3
"""Draws the application icon (a flat-screen monitor showing a blue desktop) as an RGBA PNG of any
size, or as SVG. The shapes are laid out on a 48-unit grid and scaled.

Only the standard library is used, so the pictures can be redrawn on any machine:
    python3 dessiner-icone.py ../Papirol2.png                 # 48 px: the embedded icon
    python3 dessiner-icone.py papirol2.svg
    for t in 16 22 24 32 64 128 256; do python3 dessiner-icone.py --taille $t papirol2-$t.png; done
    convert ../Papirol2.png -define icon:auto-resize=48 ../papirol2.ico
"""

import argparse
import struct
import zlib

GRILLE = 48  # the units the shapes are laid out in
SUREC = 4  # subsamples per axis, for smooth rounded corners


class Degrade:
    """A vertical gradient from haut at y0 to bas at y1."""

    def __init__(self, haut, bas, y0, y1):
        self.haut, self.bas, self.y0, self.y1 = haut, bas, y0, y1

    def __call__(self, y):
        t = min(max((y - self.y0) / (self.y1 - self.y0), 0.0), 1.0)
        return tuple(round(a + (b - a) * t) for a, b in zip(self.haut, self.bas))


# Rounded rectangles (x0, y0, x1, y1, corner radius, colour), painted back to front: the last shape
# containing a point gives its colour.
FORMES = [
    (13, 41, 35, 45, 1.5, (70, 76, 86)),  # foot
    (21, 35, 27, 42, 0, (92, 99, 110)),  # neck
    (2, 5, 46, 37, 3, (40, 44, 52)),  # bezel
    (5, 8, 43, 34, 0.5, Degrade((86, 160, 240), (24, 84, 190), 8, 34)),  # desktop
    (5, 31, 43, 34, 0, (16, 52, 120)),  # taskbar
    (6, 31.5, 9, 33.5, 0, (120, 200, 255)),  # start button
    (7, 10, 10, 13, 0.5, (235, 240, 248)),  # desktop icons
    (7, 15, 10, 18, 0.5, (235, 240, 248)),
    (7, 20, 10, 23, 0.5, (250, 214, 90)),
    (5, 5.5, 43, 6.5, 0, (72, 78, 90)),  # bezel highlight
]


def dedans(forme, x, y):
    x0, y0, x1, y1, r, _ = forme
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(px, py, taille):
    echelle = GRILLE / taille
    somme = [0.0, 0.0, 0.0]
    couverts = 0
    for sy in range(SUREC):
        for sx in range(SUREC):
            x = (px + (sx + 0.5) / SUREC) * echelle
            y = (py + (sy + 0.5) / SUREC) * echelle
            trouve = None
            for forme in FORMES:
                if dedans(forme, x, y):
                    couleur = forme[5]
                    trouve = couleur(y) if isinstance(couleur, Degrade) else couleur
            if trouve is not None:
                couverts += 1
                for i in range(3):
                    somme[i] += trouve[i]
    if couverts == 0:
        return (0, 0, 0, 0)
    return tuple(round(c / couverts) for c in somme) + (round(255 * couverts / SUREC**2),)


def png(taille):
    def bloc(type_, donnees):
        return (struct.pack(">I", len(donnees)) + type_ + donnees
                + struct.pack(">I", zlib.crc32(type_ + donnees) & 0xFFFFFFFF))

    lignes = [[pixel(x, y, taille) for x in range(taille)] for y in range(taille)]
    brut = b"".join(b"\x00" + bytes(v for p in ligne for v in p) for ligne in lignes)
    return (b"\x89PNG\r\n\x1a\n"
            + bloc(b"IHDR", struct.pack(">IIBBBBB", taille, taille, 8, 6, 0, 0, 0))
            + bloc(b"IDAT", zlib.compress(brut, 9))
            + bloc(b"IEND", b""))


def svg():
    def hexa(c):
        return "#%02x%02x%02x" % c

    defs, corps = [], []
    for forme in FORMES:
        x0, y0, x1, y1, r, couleur = forme
        if isinstance(couleur, Degrade):
            ident = "d%d" % len(defs)
            defs.append(f'<linearGradient id="{ident}" gradientUnits="userSpaceOnUse" x1="0" y1="{couleur.y0}" '
                        f'x2="0" y2="{couleur.y1}"><stop offset="0" stop-color="{hexa(couleur.haut)}"/>'
                        f'<stop offset="1" stop-color="{hexa(couleur.bas)}"/></linearGradient>')
            remplissage = f"url(#{ident})"
        else:
            remplissage = hexa(couleur)
        arrondi = f' rx="{r}"' if r else ""
        corps.append(f'<rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}"{arrondi} fill="{remplissage}"/>')
    return "\n".join([f'<svg xmlns="http://www.w3.org/2000/svg" width="{GRILLE}" height="{GRILLE}" '
                      f'viewBox="0 0 {GRILLE} {GRILLE}">', "<defs>", *defs, "</defs>", *corps, "</svg>", ""])


def main():
    arguments = argparse.ArgumentParser(description="Draws the application icon.")
    arguments.add_argument("--taille", type=int, default=GRILLE, help="width and height of a PNG, in pixels")
    arguments.add_argument("sortie", help="the file to write: SVG when its name ends in .svg, PNG otherwise")
    a = arguments.parse_args()
    if a.sortie.endswith(".svg"):
        with open(a.sortie, "w", encoding="utf-8") as f:
            f.write(svg())
    else:
        with open(a.sortie, "wb") as f:
            f.write(png(a.taille))


if __name__ == "__main__":
    main()
