// The Wayland backends, each on the compositor avec-wayland.sh names in PAPIROL2_BUREAU: sway's own, and the
// swaybg child on any layer-shell compositor.
#include "commun.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QtTest>

#include <memory>
#include <optional>

namespace {
// Our swaybg processes, zombies left out: this compositor's runtime folder is ours alone.
QList<qint64> nosSwaybg()
{
    QList<qint64> pids;
    const QByteArray notre = "XDG_RUNTIME_DIR=" + qgetenv("XDG_RUNTIME_DIR");
    const QString liste = sortieDe(QStringLiteral("pgrep"), QStringLiteral("-x -r R,S,D swaybg").split(u' '));
    for (const QString &pid : liste.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(notre))
            pids.append(pid.toLongLong());
    }
    return pids;
}

QString magenta, cellules;

bool vu(const QString &image, int position = 3, const QString &sortie = {})
{
    // Judged in every layout, to say which ones it shows when not that one.
    QString pourquoi;
    if (QTest::qWaitFor([&] { return montre(captureWayland(sortie), QImage(image), position, &pourquoi); },
                        10000))
        return true;
    qWarning().noquote() << pourquoi;
    return false;
}
} // namespace

class TestWayland final : public QObject
{
    Q_OBJECT
    QTemporaryDir dossier;
    bool calque = qgetenv("PAPIROL2_BUREAU") == "calque";

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), "run through avec-wayland.sh");
        magenta = ecrireImage(QStringLiteral("magenta.png"), imageUnie(Qt::magenta));
        cellules = ecrireImage(QStringLiteral("cellules.png"), imageCellules({200, 100}));
    }

    void montrer_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<bool>("montree");
        // sway runs the path through its own parser, then wordexp(); given relative, from the picture's
        // folder, it must not reach swaybg as an option.
        QTest::newRow("centrée, tiret en tête") << 1 << QStringLiteral("-i -m tile.png") << true;
        QTest::newRow("mosaïque, guillemets et substitution")
            << 2
            << QStringLiteral("a'b\"c\\ $(touch x) `y` $HOME ${HOME} $$ *?[ab]{c,d}~ un;deux [con_id=1] %41 "
                              "é漢字 🙂.png")
            << true;
        // sway cannot take it; swaybg can.
        QTest::newRow("étirée, saut de ligne") << 3 << QStringLiteral("saut\nde ligne.png") << calque;
        QTest::newRow("ajustée") << 4 << QStringLiteral("ajustée.png") << true;
        QTest::newRow("remplie") << 5 << QStringLiteral("remplie.png") << true;
        // Gone since it was checked: swaybg says so (sway answers success for any file).
        if (calque)
            QTest::newRow("ajustée, absente") << 4 << QStringLiteral("absente.png") << false;
    }
    // A picture and a layout handed over together: the picture comes back in that layout, which the next run
    // reads; a picture not shown leaves the last good one, in the new layout.
    void montrer()
    {
        QFETCH(int, position);
        QFETCH(QString, nom);
        QFETCH(bool, montree);
        const QString chemin = dossier.filePath(nom);
        QVERIFY(nom.startsWith(QLatin1String("absente")) || QFile::copy(cellules, chemin));
        const std::unique_ptr<Bureau> bureau = creerBureau();
        disposerSur(*bureau, 3);
        QVERIFY(montrerSur(*bureau, magenta) && vu(magenta));
        std::optional<Bureau::Resultat> resultat;
        connect(bureau.get(), &Bureau::imageTraitee, this,
                [&resultat](const QString &, Bureau::Resultat r) { resultat = r; });
        bureau->montrer(chemin);
        disposerSur(*bureau, position);
        QTRY_VERIFY_WITH_TIMEOUT(resultat.has_value(), 20000);
        // Reported as the screen shows it, the layout that came meanwhile notwithstanding.
        QCOMPARE(*resultat == Bureau::Resultat::Montree, montree);
        QTest::qWait(montree ? 0 : 1000);
        QVERIFY(vu(montree ? cellules : magenta, position));
        QCOMPARE(positionSur(*creerBureau()), position);
        QTRY_VERIFY(!calque || nosSwaybg().size() == 1);
    }

    void finDuFils()
    {
        if (!calque)
            QSKIP("the swaybg child only");
        // Quitting leaves the picture on the screen, drawn by one child.
        {
            const std::unique_ptr<Bureau> premier = creerBureau();
            disposerSur(*premier, 3);
            QVERIFY(montrerSur(*premier, magenta));
        }
        QTest::qWait(500);
        QVERIFY(vu(magenta));
        const QList<qint64> laisse = nosSwaybg();
        QCOMPARE(laisse.size(), 1);
        // The next run changes it, then ends the child left behind.
        const std::unique_ptr<Bureau> bureau = creerBureau();
        disposerSur(*bureau, 3);
        QVERIFY(montrerSur(*bureau, cellules) && vu(cellules));
        QTRY_VERIFY(nosSwaybg().size() == 1 && nosSwaybg() != laisse);
    }

    // Un fond par écran: each output its own picture, read back per output, in a new layout too; an output
    // plugged in gets one from the round without a tick (sway), or the primary's from the one swaybg child
    // that draws them all.
    void unFondParSortie()
    {
        if (qEnvironmentVariableIsEmpty("SWAYSOCK"))
            QSKIP("outputs are made at run time through sway's IPC");
        const auto swaymsg = [](const QString &commande) {
            return !sortieDe(QStringLiteral("swaymsg"), commande.split(u' ')).isNull();
        };
        QVERIFY(swaymsg(QStringLiteral("create_output"))
                && swaymsg(QStringLiteral("output HEADLESS-2 mode 600x600")));
        DossierDeTravail travail;
        ouvrirConfiguration();
        installerBureau(creerBureau());
        if (!calque)
            QTRY_COMPARE(bureau().lireEcrans().size(), 2);
        // swaybg's outputs are Qt's screens, which this offscreen test has not: named as Qt names them.
        const QList<Bureau::Ecran> ecrans = calque
            ? QList<Bureau::Ecran> {{QStringLiteral("HEADLESS-1"), {}, true},
                                    {QStringLiteral("HEADLESS-2"), {}, false}}
            : bureau().lireEcrans();
        QSignalSpy traitees(&bureau(), &Bureau::imageTraitee);
        bureau().montrerParEcran(ecrans, {cellules, magenta});
        QVERIFY(traitees.wait());
        for (const int position : {5, 4}) {
            disposerSur(bureau(), position);
            QVERIFY(vu(cellules, position, ecrans[0].nom));
            QVERIFY(vu(magenta, position, ecrans[1].nom));
        }
        if (calque) {
            QTRY_COMPARE(nosSwaybg().size(), 1);
            QVERIFY(swaymsg(QStringLiteral("create_output")));
            QVERIFY(vu(cellules, 4, QStringLiteral("HEADLESS-3")));
            return installerBureau(nullptr);
        }
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossierImages(), QStringLiteral("*"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.changerParEcran(true);
        rotator.chargerFichiers(&modele);
        QTRY_COMPARE(rotator.listages(), 1);
        rotator.changerWallpaper();
        QTRY_COMPARE(rotator.courantes().size(), 2);
        QVERIFY(swaymsg(QStringLiteral("create_output")));
        QTRY_COMPARE(rotator.courantes().size(), 3);
        QVERIFY(vu(rotator.courantes().last(), 4, QStringLiteral("HEADLESS-3")));
        installerBureau(nullptr);
    }
};

QTEST_MAIN(TestWayland)
#include "wayland.moc"
