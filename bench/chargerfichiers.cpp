// Listing: one folder of N matching files, from chargerFichiers to the candidates being there, beside find(1)
// on the same folder. Then what following the folders costs: memory after 100 and after 10,000 changes of one
// location, and how many listings a copy of 5,000 new files causes through the real watcher.
#include "desktop/bureaunul.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
double mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &l : f.readAll().split('\n')) {
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

void creer(const QString &dossier, const QString &motif, int premier, int n)
{
    for (int i = premier; i < premier + n; ++i)
        QFile(motif.arg(dossier).arg(i)).open(QIODevice::WriteOnly);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // --court: small sizes, one round, to see that it runs.
    const bool court = argc > 1 && !strcmp(argv[1], "--court");
    const int n = court ? 2000 : argc > 1 ? atoi(argv[1]) : 100000;
    const int tours = court ? 1 : 7;
    const int changements = court ? 200 : 10000, copie = court ? 500 : 5000;
    QTemporaryDir travail;
    QDir::setCurrent(travail.path());
    const QString dossier = travail.filePath(QStringLiteral("images"));
    QDir().mkpath(dossier);
    creer(dossier, QStringLiteral("%1/photo-%2.jpg"), 0, n);
    creer(dossier, QStringLiteral("%1/autre-%2.txt"), 0, n / 10);
    installerBureau(std::make_unique<BureauNul>(QStringLiteral("benchmark")));
    ListeEmplacements modele;
    modele.ajouterEmplacement(dossier, QStringLiteral("*.jpg"));

    std::vector<double> nous, find;
    for (int t = 0; t < tours; ++t) {
        Rotator rotator;
        modele.setSelectionne(0, true);
        QElapsedTimer chrono;
        chrono.start();
        rotator.chargerFichiers(&modele);
        while (rotator.listages() == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        nous.push_back(chrono.nsecsElapsed() / 1e6);
        if (rotator.candidats().size() != n) {
            fprintf(stderr, "expected %d candidates, got %lld\n", n, qlonglong(rotator.candidats().size()));
            return 1;
        }

        chrono.restart();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("find"),
                {dossier, QStringLiteral("-maxdepth"), QStringLiteral("1"), QStringLiteral("-name"),
                 QStringLiteral("*.jpg")});
        p.waitForFinished(-1);
        find.push_back(chrono.nsecsElapsed() / 1e6);
    }
    const double a = mediane(nous), b = mediane(find);
    printf("listing, %d matching files (+%d others), median of %d runs\n", n, n / 10, tours);
    printf("  %-34s %9.1f ms\n", "Papirol 2, chargerFichiers to ready", a);
    printf("  %-34s %9.1f ms   (reference; target: ours at most 0.5x)\n", "find -maxdepth 1 -name", b);
    printf("  ratio %.2fx\n", a / b);

    // One location of 1,000 pictures listed again after each change of one file.
    Candidats lot;
    double apres100 = 0;
    QString dernier;
    for (int changement = 1; changement <= changements; ++changement) {
        Listage l;
        for (int i = 0; i < 1000; ++i)
            l.ajouter(QStringLiteral("photo-%1.jpg").arg(changement + i));
        lot.remplacer(QStringLiteral("d"), dossier, std::move(l));
        dernier = lot.tirer(quint32(QRandomGenerator::global()->generate()), dernier).chemin;
        if (changement == 100)
            apres100 = rssMiB();
    }
    printf("resident memory, one location of 1,000 pictures listed again after each change\n");
    printf("  after %6d changes: %6.2f MiB\n  after %6d changes: %6.2f MiB\n", 100, apres100, changements,
           rssMiB());

    // A copy of 5,000 pictures into a watched folder.
    const QString rafale = travail.filePath(QStringLiteral("rafale"));
    QDir().mkpath(rafale);
    modele.ajouterEmplacement(rafale, QStringLiteral("*.jpg"));
    modele.setSelectionne(0, false);
    modele.setSelectionne(1, true);
    Rotator rotator;
    rotator.chargerFichiers(&modele);
    // A time-out shows in the figures printed below.
    (void)QTest::qWaitFor([&] { return rotator.listages() == 1; }, 10000);
    creer(rafale, QStringLiteral("%1/neuve-%2.jpg"), 0, copie);
    (void)QTest::qWaitFor([&] { return rotator.candidats().size() == copie; }, 30000);
    QTest::qWait(2 * Rotator::attenteMaxMs);
    printf("a copy of %d new files into a watched folder: %d listing(s), %lld candidates\n", copie,
           rotator.listages() - 1, qlonglong(rotator.candidats().size()));
    // Many locations of one picture each: every listing back, beside the same folders listed one after
    // another in this process, the listing work alone. Linear in the number of locations, as that is.
    printf("many locations, one picture each: chargerFichiers to every listing back\n");
    for (const int nombre : court ? std::vector<int> {1000} : std::vector<int> {10000, 100000}) {
        const QString racine = travail.filePath(QStringLiteral("nombreux-%1").arg(nombre));
        QStringList dossiers;
        ListeEmplacements beaucoup;
        for (int i = 0; i < nombre; ++i) {
            dossiers << QStringLiteral("%1/%2").arg(racine).arg(i);
            QDir().mkpath(dossiers.last());
            creer(dossiers.last(), QStringLiteral("%1/photo-%2.jpg"), 0, 1);
            beaucoup.ajouterEmplacement(dossiers.last(), QStringLiteral("*.jpg"));
            beaucoup.setSelectionne(i, true);
        }
        QElapsedTimer chrono;
        chrono.start();
        {
            Rotator rotator;
            rotator.chargerFichiers(&beaucoup);
            while (rotator.listages() < nombre)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const double rotation = chrono.nsecsElapsed() / 1e6;
        chrono.restart();
        for (const QString &d : std::as_const(dossiers))
            listerDossier(d, QStringLiteral("*.jpg"));
        const double seuls = chrono.nsecsElapsed() / 1e6;
        printf(
            "  %6d locations: Papirol 2 %9.1f ms   the listings alone %9.1f ms (reference)   ratio %.2fx\n",
            nombre, rotation, seuls, rotation / seuls);
        QDir(racine).removeRecursively();
    }
    return 0;
}
