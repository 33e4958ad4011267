// Cost of one draw at 10, 10^4 and 10^6 candidates: it must stay flat. The check of the drawn file and the
// hand-over to the desktop run on other threads and are not counted.
#include "desktop/bureau.h"
#include "rotation/candidats.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // --court: up to 10^5 candidates, to see that it runs.
    const bool court = argc == 2 && !strcmp(argv[1], "--court");
    printf("draw per tick (Candidats::tirer)\n");
    for (const int n : {10, 10000, court ? 100000 : 1000000}) {
        Candidats lot;
        // Ten locations, as a user with several folders has.
        for (int d = 0; d < 10; ++d) {
            Listage l;
            for (int i = 0; i < n / 10; ++i)
                l.ajouter(QStringLiteral("photo-%1.jpg").arg(i, 7, 10, QLatin1Char('0')));
            lot.remplacer(QString::number(d), QStringLiteral("/images/%1").arg(d), std::move(l));
        }
        const int ticks = court ? 20000 : 200000;
        QString dernier;
        QElapsedTimer chrono;
        chrono.start();
        for (int i = 0; i < ticks; ++i)
            dernier = lot.tirer(quint32(QRandomGenerator::global()->generate()), dernier).chemin;
        printf("  %9d candidates: %8.1f ns per tick\n", lot.nombre(), double(chrono.nsecsElapsed()) / ticks);
    }
    return 0;
}
