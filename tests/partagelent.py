#!/usr/bin/python3
"""A read-only FUSE mirror of a folder, as a network share that answers slowly: listing a folder takes the
seconds the delay file holds first, opening a file those it holds next (read each time). Prints the mount point once mounted.
Usage: partagelent.py <source> <mount point> <delay file>"""
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations  # Debian's python3-fusepy

source, point, delai = sys.argv[1:4]
CLES = ("st_mode", "st_size", "st_uid", "st_gid", "st_nlink", "st_atime", "st_mtime", "st_ctime")


def attendre(rang):
    try:
        with open(delai) as f:
            time.sleep(float((f.read().split() + ["0", "0"])[rang]))
    except (OSError, ValueError):
        pass


class Miroir(Operations):
    def init(self, chemin):
        print(point, flush=True)

    def getattr(self, chemin, fh=None):
        try:
            st = os.lstat(source + chemin)
        except OSError as e:
            raise FuseOSError(e.errno)
        return {c: getattr(st, c) for c in CLES}

    def readdir(self, chemin, fh):
        attendre(0)
        return [".", ".."] + os.listdir(source + chemin)

    def open(self, chemin, flags):
        attendre(1)
        return os.open(source + chemin, os.O_RDONLY)

    def read(self, chemin, taille, decalage, fh):
        return os.pread(fh, taille, decalage)

    def release(self, chemin, fh):
        os.close(fh)


FUSE(Miroir(), point, foreground=True, ro=True, nothreads=False)
