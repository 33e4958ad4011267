#!/usr/bin/python3
"""A read-only FUSE mirror of a folder whose listings take as many seconds as the file named by the third
argument says first, and opening a file as many as it says next (read each time): a network share that
answers slowly.
Usage: partagelent.py <source> <mount point> <delay file>"""
import errno
import os
import sys
import time

try:
    from fusepy import FUSE, FuseOSError, Operations
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class Miroir(Operations):
    def __init__(self, source, delai):
        self.source = source
        self.delai = delai

    def _chemin(self, chemin):
        return os.path.join(self.source, chemin.lstrip("/"))

    def getattr(self, chemin, fh=None):
        try:
            st = os.lstat(self._chemin(chemin))
        except OSError as e:
            raise FuseOSError(e.errno)
        cles = ("st_mode", "st_size", "st_uid", "st_gid", "st_nlink", "st_atime", "st_mtime", "st_ctime")
        return {c: getattr(st, c) for c in cles}

    def access(self, chemin, mode):
        if not os.access(self._chemin(chemin), mode):
            raise FuseOSError(errno.EACCES)

    def _attendre(self, rang):
        try:
            with open(self.delai) as f:
                delais = f.read().split()
            time.sleep(float(delais[rang]) if rang < len(delais) else 0)
        except (OSError, ValueError):
            pass

    def readdir(self, chemin, fh):
        self._attendre(0)
        return [".", ".."] + os.listdir(self._chemin(chemin))

    def open(self, chemin, flags):
        self._attendre(1)
        return os.open(self._chemin(chemin), os.O_RDONLY)

    def read(self, chemin, taille, decalage, fh):
        return os.pread(fh, taille, decalage)

    def release(self, chemin, fh):
        os.close(fh)


if __name__ == "__main__":
    source, point, delai = sys.argv[1:4]
    FUSE(Miroir(source, delai), point, foreground=True, ro=True, nothreads=False)
