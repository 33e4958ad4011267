#include "desktop/x11/bureaux11.h"
#include "commun.h"
#include "commun/chemins.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QGuiApplication>
#include <QtTest>

#include <xcb/xcb.h>

#include <memory>

namespace {
/** The root pixmap published under that name, as another program reads it; empty when none. */
QString pixmapRacine(const char *nom = "_XROOTPMAP_ID")
{
    return sortieDe(QStringLiteral("xprop"), {QStringLiteral("-root"), QLatin1String(nom)})
        .section(u'#', 1)
        .trimmed();
}
} // namespace

class TestBureauX11 final : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> configuration;

private slots:
    void init()
    {
        // A store of its own per row.
        configuration = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration->path()));
    }
    void cleanup() { reglerEcrans({}); }

    void ecrans_data()
    {
        QTest::addColumn<QList<QRect>>("ecrans");
        QTest::addColumn<QString>("image");
        QTest::addColumn<int>("position");
        const QList<QRect> cote {QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)},
            trois {QRect(0, 0, 320, 200), QRect(320, 0, 320, 200), QRect(0, 200, 400, 280)};
        const QString png = ecrireImage(QStringLiteral("ecrans.png"), imageCellules({160, 100})),
                      jpeg = ecrireImage(QStringLiteral("ecrans.jpg"), imageCellules({1200, 900}));
        for (int p = 1; p <= 5; ++p) {
            QTest::addRow("whole root, %d", p) << QList<QRect> {QRect(0, 0, 640, 480)} << png << p;
            QTest::addRow("side by side, of different shapes, %d", p) << cote << png << p;
            QTest::addRow("two alike above a wider one, %d", p) << trois << png << p;
            QTest::addRow("side by side, larger jpeg, %d", p) << cote << jpeg << p;
        }
    }
    // Each screen shows the picture in the layout, as a user expects it there.
    void ecrans()
    {
        QFETCH(QList<QRect>, ecrans);
        QFETCH(QString, image);
        QFETCH(int, position);
        QVERIFY(reglerEcrans(ecrans.size() > 1 ? ecrans : QList<QRect>()));
        BureauX11 bureau;
        disposerSur(bureau, position);
        QVERIFY(montrerSur(bureau, image));
        const QImage capture = captureRacine();
        QString pourquoi;
        for (const QRect &ecran : ecrans)
            QVERIFY2(montre(capture.copy(ecran), QImage(image), position, &pourquoi), qPrintable(pourquoi));
    }

    void changementDEcrans()
    {
        const QRect gauche(0, 0, 320, 240), dessous(320, 240, 320, 240), large(0, 240, 640, 240);
        QVERIFY(reglerEcrans({gauche, QRect(320, 0, 320, 240)}));
        const QImage cellules = imageCellules({160, 120}), blanc = imageUnie(Qt::white),
                     cyan = imageUnie(Qt::cyan);
        const QString chemin = ecrireImage(QStringLiteral("changement.png"), cellules);
        BureauX11 bureau;
        disposerSur(bureau, 3);
        QVERIFY(montrerSur(bureau, chemin));
        // The file now holds another picture: only a screen of a size not drawn yet may show it.
        QVERIFY(blanc.save(chemin, "png"));
        const QStringList retirer {QStringLiteral("--delmonitor"), QStringLiteral("m1")};
        const QList<std::tuple<const char *, QList<QStringList>, QList<QPair<QRect, QImage>>>> etapes {
            {"moved", {retirer, moniteur(1, dessous)}, {{gauche, cellules}, {dessous, cellules}}},
            {"removed", {retirer}, {{gauche, cellules}}},
            {"added, of a new size", {moniteur(1, large)}, {{gauche, cellules}, {large, blanc}}},
        };
        for (const auto &[quoi, commandes, attendus] : etapes) {
            for (const QStringList &commande : commandes)
                QVERIFY(xrandr(commande));
            for (const auto &[ecran, image] : attendus)
                QVERIFY2(QTest::qWaitFor([&] { return montre(captureRacine().copy(ecran), image, 3); }, 5000),
                         quoi);
        }
        // A picture asked for while another is drawn is not dropped for a redraw when the screens change
        // then.
        QVERIFY(xrandr(retirer));
        montrerSur(bureau, ecrireImage(QStringLiteral("lente.png"), imageCellules({3000, 2000})), 0);
        QVERIFY(montrerSur(bureau, ecrireImage(QStringLiteral("cyan.png"), cyan)));
        QVERIFY(montre(captureRacine().copy(gauche), cyan, 3));
    }

    // The layout is kept in a store of ours, read back by the next run, even for a name ini text mangles. A
    // store unreadable loses only itself.
    void magasin()
    {
        {
            BureauX11 bureau;
            disposerSur(bureau, 1);
            QVERIFY(montrerSur(
                bureau, ecrireImage(QStringLiteral("re\ndraw 'é' %1 #\\;.png"), imageCellules({200, 100}))));
        }
        BureauX11 bureau;
        QCOMPARE(positionSur(bureau), 1);
        // Centred left the corner black; stretched fills it.
        disposerSur(bureau, 3);
        QTRY_COMPARE(captureRacine().pixelColor(8, 8), imageCellules({4, 4}).pixelColor(0, 0));
        QCOMPARE(positionSur(bureau), 3);
        QFile fichier(cheminMagasin(QStringLiteral("x11")));
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write("\x00\xff[\x01=\n\x89PNG", 10));
        fichier.close();
        QCOMPARE(positionSur(*std::make_unique<BureauX11>()), 5);
    }

    void entrees_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QColor>("couleur"); // shown; none: no picture there, the screen stays as it was
        // Read for what they hold, whatever the name says; X11 hands the name to no parser.
        QTest::newRow("png named .jpg") << "png sous un nom.jpg" << QColor(Qt::green);
        QTest::newRow("no suffix") << "sans suffixe" << QColor(Qt::blue);
        // Which files the decoder refuses is the renderer's tests' business: here, that a refusal is reported
        // and changes nothing.
        QTest::newRow("missing file") << "absent.jpg" << QColor();
        QTest::newRow("text named .jpg") << "texte.jpg" << QColor();
    }
    void entrees()
    {
        QFETCH(QString, nom);
        QFETCH(QColor, couleur);
        BureauX11 bureau;
        disposerSur(bureau, 5);
        QVERIFY(montrerSur(bureau, ecrireImage(QStringLiteral("avant.png"), imageCellules({320, 240}))));
        const QImage avant = captureRacine();
        const QString pixmap = pixmapRacine();
        const QString chemin = dossierImages() + nom;
        QFile fichier(chemin);
        QVERIFY(couleur.isValid() ? imageUnie(couleur).save(chemin, "png")
                                  : nom.startsWith(u'a')
                        || (fichier.open(QIODevice::WriteOnly) && fichier.write("texte\n")));
        fichier.close();
        QCOMPARE(montrerSur(bureau, chemin, 60000), couleur.isValid());
        if (couleur.isValid()) {
            QCOMPARE(captureRacine().pixelColor(320, 240), couleur);
            // Published for the programs that draw over the root, and the previous pixmap freed.
            QVERIFY(pixmapRacine() != pixmap && pixmapRacine("ESETROOT_PMAP_ID") == pixmapRacine());
            xcb_connection_t *x = xcb_connect(nullptr, nullptr);
            xcb_get_geometry_reply_t *geometrie
                = xcb_get_geometry_reply(x, xcb_get_geometry(x, pixmap.toUInt(nullptr, 0)), nullptr);
            free(geometrie);
            xcb_disconnect(x);
            QVERIFY2(!geometrie, "the previous root pixmap was not freed");
        } else {
            QVERIFY(pixmapRacine() == pixmap && captureRacine() == avant);
        }
        // Going away while a large picture is on its way neither hangs nor crashes.
        montrerSur(bureau, ecrireImage(QStringLiteral("lente.png"), imageCellules({3000, 2000})), 0);
    }

    // Un fond par écran, read back from the root's pixels: at each tick every monitor changes to a picture
    // no other monitor shows, none again before all were shown; a monitor plugged in gets its own at once.
    void unFondParEcran_data()
    {
        QTest::addColumn<int>("candidats");
        QTest::addColumn<int>("tours");
        QTest::newRow("5 pictures, 200 ticks") << 5 << 200;
        QTest::newRow("1 picture, on both") << 1 << 1;
    }
    void unFondParEcran()
    {
        QFETCH(int, candidats);
        QFETCH(int, tours);
        QList<QRect> ecrans {QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)};
        QVERIFY(reglerEcrans(ecrans));
        QTRY_COMPARE(QGuiApplication::screens().size(), 2);
        const QColor couleurs[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta};
        QTemporaryDir dossier;
        for (int i = 0; i < candidats; ++i)
            QVERIFY(imageUnie(couleurs[i]).save(dossier.filePath(QStringLiteral("%1.png").arg(i))));
        DossierDeTravail travail;
        ouvrirConfiguration();
        installerBureau(std::make_unique<BureauX11>());
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossier.path(), QStringLiteral("*.png"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.changerParEcran(true);
        rotator.chargerFichiers(&modele);
        QTRY_COMPARE(rotator.listages(), 1);
        // The picture each monitor shows, by its colour.
        const auto lire = [&] {
            const QImage capture = captureRacine();
            QList<int> vues;
            for (const QRect &ecran : std::as_const(ecrans))
                vues << int(std::find_if(couleurs, couleurs + candidats,
                                         [&](QColor c) { return c == capture.pixelColor(ecran.center()); })
                            - couleurs);
            return vues;
        };
        QSignalSpy montrees(&rotator, &Rotator::memoireChangee);
        QList<int> avant {-1, -1}, surM1;
        QSet<int> cycle;
        // A picture seen again starts a new cycle, which only a complete one may.
        const auto compter = [&](const QSet<int> &ronde) {
            const QSet<int> encore = ronde & cycle;
            cycle += ronde;
            if (!encore.isEmpty()) {
                QCOMPARE(cycle.size(), candidats);
                cycle = encore;
            }
        };
        const auto tourner = [&](int tours) {
            for (int tour = 0; tour < tours; ++tour) {
                rotator.changerWallpaper();
                QVERIFY(montrees.wait());
                const QList<int> vues = lire();
                QSet<QString> noms;
                for (const int v : vues) {
                    QVERIFY2(v < candidats, "a monitor shows no picture of the round");
                    noms << dossier.filePath(QStringLiteral("%1.png").arg(v));
                }
                const QStringList courantes = rotator.courantes();
                QCOMPARE(QSet<QString>(courantes.cbegin(), courantes.cend()), noms);
                if (candidats == 1)
                    QCOMPARE(vues, QList<int>({0, 0}));
                else
                    QVERIFY(vues[0] != vues[1] && vues[0] != avant[0] && vues[1] != avant[1]);
                compter(QSet<int>(vues.cbegin(), vues.cend()));
                avant = vues;
                surM1 << vues[1];
            }
        };
        tourner(tours);
        if (candidats < 5)
            return;
        ecrans << QRect(0, 300, 400, 180);
        QVERIFY(xrandr(moniteur(2, ecrans.last())));
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QList<int> vues = lire();
                return vues[2] < candidats && vues[2] != vues[0] && vues[2] != vues[1];
            },
            5000));
        QCOMPARE(lire().mid(0, 2), avant);
        compter({lire()[2]});
        // Going back acts on the monitor named, with that monitor's own history.
        surM1.removeAll(surM1.last());
        QVERIFY(rotator.precedent(QStringLiteral("m1")));
        QTRY_COMPARE(lire()[1], surM1.last());
        QCOMPARE(lire()[0], avant[0]);
        // An unplugged monitor's picture goes back to the round, unless going back put it on another too: it
        // comes again before a picture repeats.
        const int rendue = lire()[2];
        QVERIFY(xrandr({QStringLiteral("--delmonitor"), QStringLiteral("m2")}));
        QTRY_COMPARE(bureau().lireEcrans().size(), 2);
        ecrans.removeLast();
        if (!lire().contains(rendue))
            cycle.remove(rendue);
        avant = lire();
        tourner(6);
        // Set aside on one monitor: that one changes, the other keeps its picture.
        avant = lire();
        QVERIFY(rotator.nePlusAfficher(QStringLiteral("m1")));
        QTRY_VERIFY(lire()[1] != avant[1]);
        QCOMPARE(lire()[0], avant[0]);
    }
};

QTEST_MAIN(TestBureauX11)
#include "bureaux11.moc"
