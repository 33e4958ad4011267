// Start-up and "Supprimer" with many locations: the controller built from a settings file of N location
// groups (one repeated pair among them, merged into one row), then row 0 removed. Beside them,
// QSettings alone reading the same file, the least any start can cost. TOURS=n rounds (3).
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

#include <algorithm>
#include <cstdio>
#include <vector>

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

    QList<int> tailles;
    for (int i = 1; i < argc; ++i)
        tailles.append(atoi(argv[i]));
    if (tailles.isEmpty())
        tailles = {1000, 10000, 100000};
    // Rounds take the sizes in turn, each measuring QSettings then the program, so that a busy moment of the
    // machine weighs on both alike.
    const int tours = qEnvironmentVariableIntValue("TOURS") > 0 ? qEnvironmentVariableIntValue("TOURS") : 3;
    QList<std::vector<double>> nous(tailles.size()), reference(tailles.size()), supprimer(tailles.size());
    QList<int> cles(tailles.size());
    for (int tour = 0; tour < tours; ++tour) {
        for (qsizetype t = 0; t < tailles.size(); ++t) {
            const int n = tailles[t];
            ecrireIni(n);
            QElapsedTimer chrono;
            chrono.start();
            cles[t] = int(QSettings(QStringLiteral("Papirol2.ini"), QSettings::IniFormat).allKeys().size());
            reference[t].push_back(ms(chrono));
            chrono.restart();
            ouvrirConfiguration();
            Papirol2 p;
            nous[t].push_back(ms(chrono));

            // The window is built when first opened.
            p.show();
            auto *table = p.findChild<QTableView *>();
            table->selectionModel()->setCurrentIndex(table->model()->index(0, 0),
                                                     QItemSelectionModel::ClearAndSelect);
            QPushButton *supprimerBouton = nullptr;
            for (QPushButton *bouton : p.findChildren<QPushButton *>()) {
                if (bouton->text() == QLatin1String("Supprimer"))
                    supprimerBouton = bouton;
            }
            chrono.restart();
            supprimerBouton->click();
            supprimer[t].push_back(ms(chrono));
        }
    }
    const auto etendue = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return QStringLiteral("%1 / %2 / %3")
            .arg(v.front(), 0, 'f', 0)
            .arg(v[v.size() / 2], 0, 'f', 0)
            .arg(v.back(), 0, 'f', 0);
    };
    const auto mediane = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    printf("locations (one repeated pair, merged), %d round(s), ms min / median / max\n", tours);
    printf("  %-30s %22s %22s %8s\n", "", "Papirol 2", "QSettings reading it", "ratio");
    for (qsizetype t = 0; t < tailles.size(); ++t) {
        printf("  start-up, %6d groups (%6d keys) %17s %22s %7.2fx   (target: at most 2x)\n", tailles[t],
               cles[t], qPrintable(etendue(nous[t])), qPrintable(etendue(reference[t])),
               mediane(nous[t]) / mediane(reference[t]));
        printf("  \"Supprimer\" on row 0 of %6d %17s %22s\n", tailles[t] - 1,
               qPrintable(etendue(supprimer[t])), qPrintable(etendue(reference[t])));
    }
    return 0;
}
