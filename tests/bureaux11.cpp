#include "desktop/x11/bureaux11.h"
#include "commun.h"
#include "commun/chemins.h"

#include <QtTest>

#include <xcb/xcb.h>

#include <memory>

namespace {
/** A nested X server with Xinerama heads of these sizes side by side and no RandR, the display while it
 * lives. */
struct Xinerama final
{
    explicit Xinerama(const QList<QRect> &tetes)
    {
        QStringList arguments
            = QStringLiteral("-displayfd 1 +xinerama -extension RANDR -nolisten tcp").split(QLatin1Char(' '));
        for (const QRect &tete : tetes)
            arguments << QStringLiteral("-screen")
                      << QStringLiteral("%1x%2").arg(tete.width()).arg(tete.height());
        qputenv("DISPLAY", ':' + premiereLigne(serveur, QStringLiteral("Xephyr"), arguments));
    }
    ~Xinerama()
    {
        qputenv("DISPLAY", hote);
        serveur.terminate();
        serveur.waitForFinished();
    }
    QByteArray hote = qgetenv("DISPLAY");
    QProcess serveur;
};

// Our own connection, to read back what the backend published.
xcb_connection_t *const x = xcb_connect(nullptr, nullptr);

xcb_pixmap_t pixmapRacine(const char *propriete = "_XROOTPMAP_ID")
{
    xcb_intern_atom_reply_t *atome
        = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(propriete)), propriete), nullptr);
    xcb_get_property_reply_t *r
        = xcb_get_property_reply(x,
                                 xcb_get_property(x, 0, xcb_setup_roots_iterator(xcb_get_setup(x)).data->root,
                                                  atome->atom, XCB_ATOM_PIXMAP, 0, 1),
                                 nullptr);
    const xcb_pixmap_t valeur = r && xcb_get_property_value_length(r) == 4
        ? *static_cast<xcb_pixmap_t *>(xcb_get_property_value(r))
        : xcb_pixmap_t(XCB_NONE);
    free(atome);
    free(r);
    return valeur;
}

bool pixmapExiste(xcb_pixmap_t pixmap)
{
    xcb_get_geometry_reply_t *r = xcb_get_geometry_reply(x, xcb_get_geometry(x, pixmap), nullptr);
    free(r);
    return r != nullptr;
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
        QTest::addColumn<bool>("xinerama");
        QTest::addColumn<QString>("image");
        QTest::addColumn<int>("position");
        const QList<QRect> cote {QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)},
            trois {QRect(0, 0, 320, 200), QRect(320, 0, 320, 200), QRect(0, 200, 400, 280)};
        const QString png = ecrireImage(QStringLiteral("ecrans.png"), imageCellules({160, 100})),
                      jpeg = ecrireImage(QStringLiteral("ecrans.jpg"), imageCellules({1200, 900}));
        for (int position = 1; position <= 5; ++position) {
            QTest::addRow("whole root, %d", position)
                << QList<QRect> {QRect(0, 0, 640, 480)} << false << png << position;
            QTest::addRow("side by side, of different shapes, %d", position)
                << cote << false << png << position;
            QTest::addRow("two alike above a wider one, %d", position) << trois << false << png << position;
            QTest::addRow("Xinerama heads, no RandR, %d", position) << cote << true << png << position;
            QTest::addRow("side by side, larger jpeg, %d", position) << cote << false << jpeg << position;
        }
    }
    // Each screen shows the picture in the layout, as a user expects it there.
    void ecrans()
    {
        QFETCH(QList<QRect>, ecrans);
        QFETCH(bool, xinerama);
        QFETCH(QString, image);
        QFETCH(int, position);
        std::unique_ptr<Xinerama> tetes(xinerama ? new Xinerama(ecrans) : nullptr);
        QVERIFY(xinerama || reglerEcrans(ecrans.size() > 1 ? ecrans : QList<QRect>()));
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

    // The layout is kept in a store of ours, read back by the next run, even for a name ini text mangles.
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
        // Unreadable, then a folder in its place (neither read nor written, even by root): the layout chosen
        // still holds.
        const QString chemin = cheminMagasin(QStringLiteral("x11"));
        QFile fichier(chemin);
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write("\x00\xff[\x01=\n\x89PNG", 10));
        fichier.close();
        QCOMPARE(positionSur(*std::make_unique<BureauX11>()), 5);
        QVERIFY(fichier.remove() && QDir().mkpath(chemin));
        BureauX11 sansMagasin;
        disposerSur(sansMagasin, 1);
        QCOMPARE(positionSur(sansMagasin), 1);
        QVERIFY(
            montrerSur(sansMagasin, ecrireImage(QStringLiteral("centree.png"), imageCellules({200, 100}))));
        QCOMPARE(captureRacine().pixelColor(8, 8), QColor(Qt::black));
    }

    void entrees_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QColor>("couleur"); // shown when valid; otherwise the background must stay as it was
        // Read for what they hold, whatever the name says.
        QTest::newRow("hostile") << QStringLiteral("-' \" $(x) `id` *?[] \\ %s %1 #\né 日本語 😀.png")
                                 << QByteArray() << QColor(Qt::red);
        QTest::newRow("png named .jpg") << "png sous un nom.jpg" << QByteArray() << QColor(Qt::green);
        QTest::newRow("no suffix") << "sans suffixe" << QByteArray() << QColor(Qt::blue);
        QTest::newRow("missing file") << "absent.jpg" << QByteArray() << QColor();
        QTest::newRow("folder named .jpg") << "dossier.jpg" << QByteArray("/") << QColor();
        QTest::newRow("text named .jpg") << "texte.jpg" << QByteArray("not a picture at all\n") << QColor();
        // What the decoder refuses for its size is the pipeline's tests' business: here, that a refusal
        // leaves the screen as it was.
        QTest::newRow("png named .jpg, truncated")
            << "coupe.jpg" << QByteArray("\x89PNG\r\n\x1a\n", 8) << QColor();
    }
    void entrees()
    {
        QFETCH(QString, nom);
        QFETCH(QByteArray, contenu);
        QFETCH(QColor, couleur);
        BureauX11 bureau;
        disposerSur(bureau, 5);
        QVERIFY(montrerSur(bureau, ecrireImage(QStringLiteral("avant.png"), imageCellules({320, 240}))));
        const QImage avant = captureRacine();
        const xcb_pixmap_t pixmap = pixmapRacine();
        const QString chemin = dossierImages() + nom;
        QFile fichier(chemin);
        QVERIFY(contenu == "/" ? QDir().mkpath(chemin)
                    : !contenu.isNull()
                    ? fichier.open(QIODevice::WriteOnly) && fichier.write(contenu) && fichier.flush()
                    : !couleur.isValid() || imageUnie(couleur).save(chemin, "png"));
        QCOMPARE(montrerSur(bureau, chemin, 60000), couleur.isValid());
        if (couleur.isValid()) {
            QCOMPARE(captureRacine().pixelColor(320, 240), couleur);
            // Published for the programs that draw over the root, and the previous pixmap freed.
            QVERIFY(pixmapRacine() != pixmap && pixmapRacine("ESETROOT_PMAP_ID") == pixmapRacine());
            QVERIFY2(!pixmapExiste(pixmap), "the previous root pixmap was not freed");
        } else {
            QVERIFY(pixmapRacine() == pixmap && captureRacine() == avant);
        }
        // Going away while a large picture is on its way neither hangs nor crashes.
        montrerSur(bureau, ecrireImage(QStringLiteral("lente.png"), imageCellules({3000, 2000})), 0);
    }
};

QTEST_GUILESS_MAIN(TestBureauX11)
#include "bureaux11.moc"
