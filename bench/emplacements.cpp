// Start-up and "Supprimer" with many locations: the controller built from a settings file of N location
// groups (one repeated pair among them, so the groups are also renumbered), then row 0 removed. Beside them,
// QSettings alone reading the same file, the least any start can cost.
#include "desktop/bureaunul.h"
#include "settings/configuration.h"
#include "ui/papirol2.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace {
void ecrireIni(int n)
{
    QFile f(QStringLiteral("Papirol2.ini"));
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < n; ++i) {
        // The last group repeats the first one's pair.
        const int d = i == n - 1 ? 0 : i;
        f.write(QStringLiteral("[Emplacement_%1]\npath=/images/dossier-%2\nfiltre=*.jpg\nselected=false\n")
                    .arg(i)
                    .arg(d)
                    .toUtf8());
    }
    f.close();
}

double ms(const QElapsedTimer &chrono)
{
    return chrono.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installerBureau(std::make_unique<BureauNul>(QStringLiteral("benchmark")));
    QTemporaryDir travail;
    QDir::setCurrent(travail.path());

    printf("%-34s %12s %12s\n", "locations (one repeated pair)", "Papirol 2", "QSettings");
    QList<int> tailles;
    for (int i = 1; i < argc; ++i)
        tailles.append(atoi(argv[i]));
    if (tailles.isEmpty())
        tailles = {1000, 10000, 100000};
    for (int n : tailles) {
        ecrireIni(n);
        QElapsedTimer chrono;
        chrono.start();
        const int cles
            = int(QSettings(QStringLiteral("Papirol2.ini"), QSettings::IniFormat).allKeys().size());
        const double reference = ms(chrono);
        chrono.restart();
        ouvrirConfiguration();
        Papirol2 p;
        const double demarrage = ms(chrono);
        printf("  start-up, %6d groups (%6d keys) %9.1f ms %9.1f ms   (target: under 1 s for 10,000)\n", n,
               cles, demarrage, reference);

        // The window is built when first opened.
        p.show();
        auto *table = p.findChild<QTableView *>(QStringLiteral("tableView"));
        table->selectionModel()->setCurrentIndex(table->model()->index(0, 0),
                                                 QItemSelectionModel::ClearAndSelect);
        chrono.restart();
        p.findChild<QPushButton *>(QStringLiteral("boutonSupprimer"))->click();
        printf("  \"Supprimer\" on row 0 of %6d   %9.1f ms\n", n - 1, ms(chrono));
    }
    return 0;
}
