// For bench/bench-sway.sh: the desktop backend made once, then one picture shown per line read on stdin, as a
// tick of the running program shows it; "ok" (or "refused") written back once the desktop has answered.
#include "desktop/bureau.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    Bureau &desktop = bureau();
    QObject::connect(&desktop, &Bureau::imageTraitee, [](const QString &, Bureau::Resultat resultat) {
        printf("%s\n", resultat == Bureau::Resultat::Montree ? "ok" : "refused");
        fflush(stdout);
    });
    QSocketNotifier entree(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&entree, &QSocketNotifier::activated, [&desktop] {
        char ligne[4096];
        if (!fgets(ligne, sizeof ligne, stdin))
            return QCoreApplication::quit();
        desktop.montrer(QString::fromLocal8Bit(ligne).trimmed());
    });
    printf("ready\n");
    fflush(stdout);
    return application.exec();
}
