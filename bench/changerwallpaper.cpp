// Cost of one tick at 10, 10^4 and 10^6 candidates, with a desktop that does nothing: it must stay flat.
#include "desktop/bureaunul.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir travail;
    QDir::setCurrent(travail.path());
    installerBureau(std::make_unique<BureauNul>(QStringLiteral("benchmark")));
    printf("changerWallpaper per tick (desktop that does nothing)\n");
    // 10^6 candidates without 10^6 files: one folder of 10^4 seen through up to 100 distinct patterns.
    const QString dossier = travail.filePath(QStringLiteral("images"));
    QDir().mkpath(dossier);
    for (int i = 0; i < 10000; ++i) {
        QFile f(QStringLiteral("%1/p%2.jpg").arg(dossier).arg(i));
        f.open(QIODevice::WriteOnly);
    }
    struct Cas
    {
        int fichiers;
        int motifs;
    };
    for (const Cas cas : {Cas {10, 1}, Cas {10000, 1}, Cas {10000, 100}}) {
        ListeEmplacements modele;
        for (int m = 0; m < cas.motifs; ++m) {
            const QString motif = cas.fichiers == 10
                ? QStringLiteral("p?.jpg")
                : QStringLiteral("[p") + QString(m, QLatin1Char('a')) + QStringLiteral("]*.jpg");
            modele.ajouterEmplacement(dossier, motif);
            modele.setSelectionne(m, true);
        }
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        const int ticks = 200000;
        QElapsedTimer chrono;
        chrono.start();
        for (int i = 0; i < ticks; ++i)
            rotator.changerWallpaper();
        printf("  %9lld candidates: %8.1f ns per tick\n", qlonglong(rotator.candidats().size()),
               double(chrono.nsecsElapsed()) / ticks);
    }
    return 0;
}
