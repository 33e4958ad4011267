// Lists one folder of N matching files with Rotator::chargerFichiers, beside find(1) on the same folder.
#include "desktop/bureaunul.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? atoi(argv[1]) : 100000;
    const int tours = 7;
    QTemporaryDir travail;
    QDir::setCurrent(travail.path());
    const QString dossier = travail.filePath(QStringLiteral("images"));
    QDir().mkpath(dossier);
    for (int i = 0; i < n; ++i) {
        QFile f(QStringLiteral("%1/photo-%2.jpg").arg(dossier).arg(i));
        f.open(QIODevice::WriteOnly);
    }
    for (int i = 0; i < n / 10; ++i) {
        QFile f(QStringLiteral("%1/autre-%2.txt").arg(dossier).arg(i));
        f.open(QIODevice::WriteOnly);
    }
    installerBureau(std::make_unique<BureauNul>(QStringLiteral("benchmark")));
    ListeEmplacements modele;
    modele.ajouterEmplacement(dossier, QStringLiteral("*.jpg"));
    modele.setSelectionne(0, true);
    Rotator rotator;

    std::vector<double> nous, find;
    for (int t = 0; t < tours; ++t) {
        QElapsedTimer chrono;
        chrono.start();
        rotator.chargerFichiers(&modele);
        nous.push_back(chrono.nsecsElapsed() / 1e6);

        chrono.restart();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("find"),
                {dossier, QStringLiteral("-maxdepth"), QStringLiteral("1"), QStringLiteral("-name"),
                 QStringLiteral("*.jpg")});
        p.waitForFinished(-1);
        find.push_back(chrono.nsecsElapsed() / 1e6);
    }
    if (rotator.candidats().size() != n) {
        fprintf(stderr, "expected %d candidates, got %lld\n", n, qlonglong(rotator.candidats().size()));
        return 1;
    }
    const double a = mediane(nous), b = mediane(find);
    printf("chargerFichiers, %d matching files (+%d others), median of %d runs\n", n, n / 10, tours);
    printf("  %-28s %9.1f ms\n", "Papirol 2 chargerFichiers", a);
    printf("  %-28s %9.1f ms   (reference; target: at most 2x)\n", "find -maxdepth 1 -name", b);
    printf("  ratio %.2fx\n", a / b);
    return 0;
}
