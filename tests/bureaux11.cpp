#include "desktop/bureaux11.h"
#include "commun.h"

#include <QFile>
#include <QPainter>
#include <QtEndian>
#include <QtTest>

#include <xcb/xcb.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

using Echantillons = QList<QPair<QPoint, QColor>>;

namespace {
// Generous bound so that a hang fails the test instead of the whole run.
constexpr int delaiMax = 60000;

/** Quadrants in the middle half along the longer side, white in the outer quarters: cropping drops the white.
 */
QImage imageBandes(int largeur, int hauteur)
{
    QImage image(largeur, hauteur, QImage::Format_RGB32);
    image.fill(Qt::white);
    const bool large = largeur >= hauteur;
    QPainter(&image).drawImage(large ? largeur / 4 : 0, large ? 0 : hauteur / 4,
                               imageQuadrants(large ? largeur / 2 : largeur, large ? hauteur : hauteur / 2));
    return image;
}

QImage imageUnie(QColor couleur)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(couleur);
    return image;
}

QString ecrire(const QString &nom, const QImage &image, const char *format = nullptr)
{
    const QString chemin = dossierImages() + nom;
    return ecrireImage(chemin, image, format) ? chemin : QString();
}

// Our own connection, to read back what the backend published.
xcb_connection_t *const x = xcb_connect(nullptr, nullptr);

xcb_pixmap_t pixmapRacine(const char *propriete)
{
    xcb_intern_atom_reply_t *atome
        = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(propriete)), propriete), nullptr);
    const xcb_window_t racine = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        x, xcb_get_property(x, 0, racine, atome->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr);
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
    const bool existe = r != nullptr;
    free(r);
    return existe;
}

QByteArray be32(quint32 valeur)
{
    QByteArray octets(4, '\0');
    qToBigEndian(valeur, octets.data());
    return octets;
}

// A PNG chunk with a valid CRC, so that the decoder believes the header.
QByteArray bloc(const char *type, const QByteArray &donnees)
{
    const QByteArray corps = type + donnees;
    quint32 crc = ~0u;
    for (const char o : corps)
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - ((crc ^ (quint8(o) >> i)) & 1u)));
    return be32(quint32(donnees.size())) + corps + be32(~crc);
}

/** A few dozen bytes of PNG claiming a huge RGBA picture. */
QByteArray bombePng(quint32 cote)
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8)
        + bloc("IHDR", be32(cote) + be32(cote) + QByteArray("\x08\x06\0\0\0", 5))
        + bloc("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + bloc("IEND", {});
}

/** A JPEG header claiming a huge picture and no data: decoders make up grey pixels for all of it. */
QByteArray bombeJpeg(quint16 cote)
{
    return QByteArray("\xff\xd8\xff\xdb\x00\x43\x00", 7) + QByteArray(64, '\x01')
        + QByteArray("\xff\xc0\x00\x11\x08", 5) + be32(quint32(cote) << 16 | cote)
        + QByteArray("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00", 10)
        + QByteArray("\xff\xda\x00\x0c\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00\xff\xd9", 16);
}
} // namespace

class TestBureauX11 final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QFile::remove(BureauX11::cheminMagasin()); }
    void dispositions_data();
    void dispositions();
    void magasin_data();
    void magasin();
    void magasinIllisibleDonneZero();
    void entrees_data();
    void entrees();
    void publicationEtFileDAttente();
};

void TestBureauX11::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCOMPARE(captureRacine().size(), QSize(640, 480));
}

void TestBureauX11::dispositions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("format");
    QTest::addColumn<Echantillons>("echantillons");

    const QColor n(Qt::black), r(Qt::red), v(Qt::green), b(Qt::blue), j(Qt::yellow), w(Qt::white);
    const Echantillons quarts {{{8, 8}, r},     {{631, 8}, v},   {{8, 471}, b},   {{631, 471}, j},
                               {{312, 232}, r}, {{327, 232}, v}, {{312, 247}, b}, {{327, 247}, j}};
    // Stretching keeps the white sides that filling would crop.
    const Echantillons etire {{{5, 240}, w}, {{634, 240}, w}, {{200, 100}, r}, {{440, 380}, j}};

    QTest::newRow("centred, smaller: black around")
        << 1 << imageQuadrants(200, 100) << "png"
        << Echantillons {{{219, 240}, n}, {{420, 240}, n}, {{320, 189}, n},
                         {{320, 290}, n}, {{220, 190}, r}, {{419, 289}, j}};
    QTest::newRow("centred, larger: middle crop") << 1 << imageQuadrants(1000, 800) << "png" << quarts;
    QTest::newRow("tiled, smaller: repeats from the corner")
        << 2 << imageQuadrants(200, 100) << "png"
        << Echantillons {{{0, 0}, r}, {{110, 10}, v}, {{10, 60}, b}, {{210, 10}, r}, {{150, 460}, j}};
    QTest::newRow("tiled, larger: top-left corner")
        << 2 << imageQuadrants(1000, 800) << "png"
        << Echantillons {{{499, 399}, r}, {{500, 399}, v}, {{499, 400}, b}, {{639, 479}, j}};
    QTest::newRow("stretched, smaller") << 3 << imageBandes(400, 100) << "png" << etire;
    QTest::newRow("stretched, larger jpeg") << 3 << imageBandes(1600, 1000) << "jpg" << etire;
    QTest::newRow("fitted, wide: bars above and below")
        << 4 << imageQuadrants(400, 100) << "png"
        << Echantillons {{{320, 159}, n}, {{0, 160}, r}, {{639, 319}, j}, {{320, 320}, n}};
    QTest::newRow("fitted, tall larger jpeg: side bars")
        << 4 << imageQuadrants(500, 2000) << "jpg"
        << Echantillons {{{255, 240}, n}, {{385, 240}, n}, {{268, 8}, r}, {{371, 471}, j}};
    QTest::newRow("filled, wide: sides cropped") << 5 << imageBandes(400, 100) << "png" << quarts;
    QTest::newRow("filled, tall larger jpeg") << 5 << imageBandes(600, 2400) << "jpg" << quarts;
    QTest::newRow("nothing stored means filled") << 0 << imageBandes(400, 100) << "png" << quarts;
}

void TestBureauX11::dispositions()
{
    QFETCH(int, position);
    QFETCH(QImage, image);
    QFETCH(QString, format);
    QFETCH(Echantillons, echantillons);

    const QString chemin = ecrire(QStringLiteral("disposition.") + format, image);
    QVERIFY(!chemin.isEmpty());
    BureauX11 bureau;
    bureau.enregistrerPosition(position);
    QCOMPARE(BureauX11().lirePosition(), position);
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    const QImage capture = captureRacine();
    for (const auto &[point, couleur] : echantillons)
        QVERIFY2(procheDe(capture.pixelColor(point), couleur, format == QLatin1String("png") ? 8 : 40),
                 qPrintable(QStringLiteral("%1,%2").arg(point.x()).arg(point.y())));
}

void TestBureauX11::magasin_data()
{
    QTest::addColumn<int>("avant");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("redemarrer");
    QTest::addColumn<int>("attendu");
    QTest::newRow("a new layout redraws") << 1 << 3 << false << 3;
    QTest::newRow("a new layout redraws after a restart") << 1 << 3 << true << 3;
    QTest::newRow("0 over 3") << 3 << 0 << false << 3;
    QTest::newRow("6 over 3") << 3 << 6 << false << 3;
    QTest::newRow("-1 over 4 after a restart") << 4 << -1 << true << 4;
    QTest::newRow("6 with nothing stored") << 0 << 6 << false << 0;
}

void TestBureauX11::magasin()
{
    QFETCH(int, avant);
    QFETCH(int, position);
    QFETCH(bool, redemarrer);
    QFETCH(int, attendu);
    auto bureau = std::make_unique<BureauX11>();
    if (avant != 0) {
        bureau->enregistrerPosition(avant);
        // The picture to redraw after a restart is read back from the store: a name that ini text mangles.
        bureau->appliquerFondEcran(
            ecrire(QStringLiteral("re\ndraw 'é' %1 #\\;.png"), imageQuadrants(200, 100)));
        QVERIFY(bureau->attendre(delaiMax));
    }
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");
    if (redemarrer)
        bureau = std::make_unique<BureauX11>();

    bureau->enregistrerPosition(position);
    QVERIFY(bureau->attendre(delaiMax));
    QCOMPARE(BureauX11().lirePosition(), attendu);
    if (attendu == avant) {
        QCOMPARE(pixmapRacine("_XROOTPMAP_ID"), pixmap);
    } else if (avant != 0) {
        // Centred left the corner black; stretched fills it.
        QCOMPARE(captureRacine().pixelColor(8, 8), QColor(Qt::red));
    }
}

void TestBureauX11::magasinIllisibleDonneZero()
{
    const QString chemin = BureauX11::cheminMagasin();
    QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
    QFile fichier(chemin);
    QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write("\x00\xff[\x01=\n\x89PNG", 10));
    fichier.close();
    QCOMPARE(BureauX11().lirePosition(), 0);
    QVERIFY(fichier.remove() && QDir().mkpath(chemin));
    QCOMPARE(BureauX11().lirePosition(), 0);
    QVERIFY(QDir().rmdir(chemin));
}

void TestBureauX11::entrees_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QColor>("couleur"); // shown when valid; otherwise the background must stay as it was
    const QStringList hostiles {QStringLiteral("espaces ' \" $(touch x); `id` *?[] \\oblique.png"),
                                QStringLiteral("retour\nà la ligne.png"),
                                QStringLiteral("-pour%cent %s %n %1 #été 日本語 😀.png"),
                                QStringLiteral("png sous un nom.jpg"), QStringLiteral("sans suffixe")};
    for (int i = 0; i < hostiles.size(); ++i)
        QTest::newRow(qPrintable(QString(hostiles.at(i)).replace(QLatin1Char('\n'), QLatin1String("\\n"))))
            << hostiles.at(i) << QByteArray() << QColor(QColor::fromHsv(i * 72, 255, 255).rgb());
    QTest::newRow("missing file") << "absent.jpg" << QByteArray() << QColor();
    QTest::newRow("folder named .jpg") << "dossier.jpg" << QByteArray() << QColor();
    QTest::newRow("pipe named .jpg") << "tube.jpg" << QByteArray() << QColor();
    QTest::newRow("text named .jpg") << "texte.jpg" << QByteArray("not a picture at all\n") << QColor();
    QTest::newRow("png named .jpg, truncated") << "coupe.jpg" << bombePng(64).left(20) << QColor();
    QTest::newRow("png claiming 30000x30000") << "bombe.png" << bombePng(30000) << QColor();
    QTest::newRow("png claiming 16000x16000") << "bombe16k.png" << bombePng(16000) << QColor();
    QTest::newRow("jpeg claiming 30000x30000") << "bombe.jpg" << bombeJpeg(30000) << QColor();
}

void TestBureauX11::entrees()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);
    QFETCH(QColor, couleur);

    BureauX11 bureau;
    bureau.enregistrerPosition(5);
    bureau.appliquerFondEcran(ecrire(QStringLiteral("avant.png"), imageQuadrants(320, 240)));
    QVERIFY(bureau.attendre(delaiMax));
    const QImage avant = captureRacine();
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");

    const QString chemin = dossierImages() + nom;
    QFile fichier(chemin);
    if (couleur.isValid())
        QVERIFY(ecrireImage(chemin, imageUnie(couleur), "png"));
    else if (nom == QLatin1String("dossier.jpg"))
        QVERIFY(QDir().mkpath(chemin));
    else if (nom == QLatin1String("tube.jpg"))
        QCOMPARE(mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    else if (!contenu.isNull())
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write(contenu) && fichier.flush());
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    if (couleur.isValid()) {
        QCOMPARE(captureRacine().pixelColor(320, 240), couleur);
    } else {
        QCOMPARE(pixmapRacine("_XROOTPMAP_ID"), pixmap);
        QVERIFY(captureRacine() == avant);
    }
}

void TestBureauX11::publicationEtFileDAttente()
{
    QStringList chemins;
    for (int i = 0; i < 8; ++i)
        chemins << ecrire(QStringLiteral("suite%1.png").arg(i), imageUnie(QColor::fromHsv(i * 40, 255, 200)));
    {
        BureauX11 bureau;
        bureau.appliquerFondEcran(chemins.takeFirst());
        QVERIFY(bureau.attendre(delaiMax));
        const xcb_pixmap_t premier = pixmapRacine("_XROOTPMAP_ID");
        QVERIFY(premier != XCB_NONE);
        bureau.appliquerFondEcran(chemins.takeFirst());
        QVERIFY(bureau.attendre(delaiMax));
        const xcb_pixmap_t second = pixmapRacine("_XROOTPMAP_ID");
        QVERIFY(second != premier && pixmapExiste(second));
        QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), second);
        QVERIFY2(!pixmapExiste(premier), "the previous root pixmap was not freed");
        // Only the latest of these counts, and it is not lost though the desktop goes away at once. (Pixmap
        // ids are not compared from here on: a freed client's ids may be handed out again.)
        for (const QString &chemin : std::as_const(chemins))
            bureau.appliquerFondEcran(chemin);
    }
    QCOMPARE(captureRacine().pixelColor(320, 240), QColor(QColor::fromHsv(7 * 40, 255, 200).rgb()));
    QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), pixmapRacine("_XROOTPMAP_ID"));
}

QTEST_GUILESS_MAIN(TestBureauX11)
#include "bureaux11.moc"
