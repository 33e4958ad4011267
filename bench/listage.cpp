// For bench/chargerfichiers: the listing as a process of its own, beside find(1), which is one too.
#include "rotation/candidats.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s <folder> <pattern>\n", argv[0]);
        return 2;
    }
    printf("%d\n", listerDossier(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])).taille());
    return 0;
}
