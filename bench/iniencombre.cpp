// A settings file of 48 MB, almost all of it keys the program does not use: the memory and time of a start's
// reading of it and of one write, beside QSettings alone reading the same file. Each runs in a process of its
// own so that its peak memory is its own.
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {
long pointeKo()
{
    rusage r {};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
}

void ecrireIni(const QString &chemin, qint64 octets)
{
    QFile f(chemin);
    f.open(QIODevice::WriteOnly);
    f.write("[Options]\nactive=true\ntimer=60\n[Emplacement_0]\npath=/images\nfiltre=*.jpg\nselected=true\n");
    const QByteArray remplissage(40, 'x');
    for (int g = 0; f.size() < octets; ++g) {
        f.write("[Dechets_" + QByteArray::number(g) + "]\n");
        for (int k = 0; k < 100; ++k)
            f.write("cle" + QByteArray::number(k) + '=' + remplissage + '\n');
    }
}

// What one process costs: reading (and for the program, one write), then its peak memory.
int mesurer(const char *qui)
{
    QElapsedTimer chrono;
    chrono.start();
    long cles = 0;
    if (!strcmp(qui, "qsettings")) {
        cles = long(QSettings(QStringLiteral("Papirol2.ini"), QSettings::IniFormat).allKeys().size());
    } else if (!strcmp(qui, "papirol2")) {
        ouvrirConfiguration();
        ListeEmplacements modele;
        modele.charger();
        cles = modele.rowCount() + lireTimer() + lireActif();
        enregistrerActif(false);
    }
    printf("%ld %.0f %ld\n", pointeKo(), chrono.nsecsElapsed() / 1e6, cles);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && !strcmp(argv[1], "--mesurer"))
        return mesurer(argv[2]);
    QTemporaryDir travail;
    const QString ini = QDir(travail.path()).filePath(QStringLiteral("Papirol2.ini"));
    // --court: a file of 4 MB, to see that it runs.
    ecrireIni(ini, (argc == 2 && !strcmp(argv[1], "--court") ? 4 : 48) * 1024 * 1024);
    printf("settings file of %.1f MB, one location among junk keys: peak memory and time\n",
           QFileInfo(ini).size() / 1e6);
    for (const char *qui : {"rien", "papirol2", "qsettings"}) {
        QProcess p;
        p.setWorkingDirectory(travail.path());
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--mesurer"), QLatin1String(qui)});
        p.waitForFinished(-1);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 3)
            return 1;
        const char *nom = !strcmp(qui, "rien") ? "the process, reading nothing"
            : !strcmp(qui, "papirol2")         ? "Papirol 2: load, then one write"
                                               : "reference: QSettings alone reading it";
        printf("  %-40s %8.1f MiB %8s ms\n", nom, f[0].toLong() / 1024.0, f[1].constData());
    }
    printf("  file after the write: %.1f MB\n", QFileInfo(ini).size() / 1e6);
    return 0;
}
