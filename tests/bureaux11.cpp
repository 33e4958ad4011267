#include "desktop/bureaux11.h"
#include "commun.h"
#include "desktop/styleposition.h"

#include <QFile>
#include <QPainter>
#include <QSettings>
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
    QPainter p(&image);
    if (largeur >= hauteur)
        p.drawImage(largeur / 4, 0, imageQuadrants(largeur / 2, hauteur));
    else
        p.drawImage(0, hauteur / 4, imageQuadrants(largeur, hauteur / 2));
    return image;
}

QImage imageUnie(QColor couleur)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(couleur);
    return image;
}

xcb_pixmap_t pixmapRacine(const char *propriete)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const xcb_window_t racine = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_intern_atom_reply_t *atome
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(strlen(propriete)), propriete), nullptr);
    xcb_pixmap_t valeur = XCB_NONE;
    if (atome && atome->atom != XCB_ATOM_NONE) {
        xcb_get_property_reply_t *r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, racine, atome->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr);
        if (r && xcb_get_property_value_length(r) == 4)
            valeur = *static_cast<xcb_pixmap_t *>(xcb_get_property_value(r));
        free(r);
    }
    free(atome);
    xcb_disconnect(c);
    return valeur;
}

/** The pixmap's size, or an invalid size once the server has freed it. */
QSize taillePixmap(xcb_pixmap_t pixmap)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_get_geometry_reply_t *r = xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr);
    const QSize taille = r ? QSize(r->width, r->height) : QSize();
    free(r);
    xcb_disconnect(c);
    return taille;
}

quint32 crc32(const QByteArray &octets)
{
    quint32 crc = 0xffffffffu;
    for (const char o : octets) {
        crc ^= quint8(o);
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bloc(const char *type, const QByteArray &donnees)
{
    QByteArray corps = QByteArray(type) + donnees;
    QByteArray resultat(4, '\0');
    qToBigEndian<quint32>(quint32(donnees.size()), resultat.data());
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(corps), crc.data());
    return resultat + corps + crc;
}

/** A few dozen bytes of PNG claiming a huge RGBA picture. */
QByteArray bombePng(quint32 cote)
{
    QByteArray entete(13, '\0');
    qToBigEndian<quint32>(cote, entete.data());
    qToBigEndian<quint32>(cote, entete.data() + 4);
    entete[8] = 8;
    entete[9] = 6;
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + bloc("IHDR", entete)
        + bloc("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + bloc("IEND", {});
}

/** A JPEG frame header claiming a huge picture, with no data after it. */
QByteArray bombeJpeg(quint16 cote)
{
    QByteArray sof("\xff\xd8\xff\xc0\x00\x11\x08", 7);
    QByteArray dimensions(4, '\0');
    qToBigEndian<quint16>(cote, dimensions.data());
    qToBigEndian<quint16>(cote, dimensions.data() + 2);
    return sof + dimensions + QByteArray("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xff\xd9", 12);
}

QString decrire(const QImage &capture, const Echantillons &echantillons, int tolerance)
{
    QStringList ecarts;
    for (const auto &[point, couleur] : echantillons) {
        const QColor vu = capture.pixelColor(point);
        if (!procheDe(vu, couleur, tolerance))
            ecarts << QStringLiteral("(%1,%2) %3 instead of %4")
                          .arg(point.x())
                          .arg(point.y())
                          .arg(vu.name(), couleur.name());
    }
    return ecarts.join(QStringLiteral("; "));
}
} // namespace

class TestBureauX11 final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void dispositions_data();
    void dispositions();
    void pixmapPublieEtAncienLibere();
    void magasinAllerRetour_data();
    void magasinAllerRetour();
    void positionHorsBornesNeChangeRien_data();
    void positionHorsBornesNeChangeRien();
    void paireIllisibleDonneZero_data();
    void paireIllisibleDonneZero();
    void changementDePositionRedessine_data();
    void changementDePositionRedessine();
    void entreeInvalideLaisseLeFond_data();
    void entreeInvalideLaisseLeFond();
    void nomsHostiles_data();
    void nomsHostiles();
    void seuleLaDerniereDemandeCompte();
    void rienNEstPerduALaFermeture();

private:
    QString ecrire(const QString &nom, const QImage &image, const char *format = nullptr);
    QColor centre() const { return captureRacine().pixelColor(320, 240); }

    QTemporaryDir dossier;
};

void TestBureauX11::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dossier.isValid());
    const QImage capture = captureRacine();
    QVERIFY2(!capture.isNull(), "no X display");
    QCOMPARE(capture.size(), QSize(640, 480));
}

void TestBureauX11::init()
{
    QFile::remove(BureauX11::cheminMagasin());
}

QString TestBureauX11::ecrire(const QString &nom, const QImage &image, const char *format)
{
    const QString chemin = dossier.filePath(nom);
    return ecrireImage(chemin, image, format) ? chemin : QString();
}

void TestBureauX11::dispositions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("format");
    QTest::addColumn<Echantillons>("echantillons");

    const QColor n(Qt::black), r(Qt::red), v(Qt::green), b(Qt::blue), j(Qt::yellow);
    const Echantillons quartsEcran {{{8, 8}, r},     {{631, 8}, v},   {{8, 471}, b},   {{631, 471}, j},
                                    {{312, 232}, r}, {{327, 232}, v}, {{312, 247}, b}, {{327, 247}, j}};

    QTest::newRow("centred, smaller: black around")
        << 1 << imageQuadrants(200, 100) << "png"
        << Echantillons {{{0, 0}, n},     {{639, 479}, n}, {{219, 240}, n}, {{420, 240}, n}, {{320, 189}, n},
                         {{320, 290}, n}, {{220, 190}, r}, {{419, 190}, v}, {{220, 289}, b}, {{419, 289}, j}};
    QTest::newRow("centred, larger: middle crop") << 1 << imageQuadrants(1000, 800) << "png" << quartsEcran;
    QTest::newRow("centred, wider only") << 1 << imageQuadrants(1000, 100) << "png"
                                         << Echantillons {{{0, 200}, r},   {{639, 200}, v}, {{0, 280}, b},
                                                          {{639, 280}, j}, {{320, 100}, n}, {{320, 400}, n}};
    QTest::newRow("tiled, smaller: repeats from the corner")
        << 2 << imageQuadrants(200, 100) << "png"
        << Echantillons {{{0, 0}, r},     {{110, 10}, v},  {{10, 60}, b},  {{210, 10}, r},
                         {{610, 410}, r}, {{150, 460}, j}, {{639, 479}, b}};
    QTest::newRow("tiled, larger: top-left corner")
        << 2 << imageQuadrants(1000, 800) << "png"
        << Echantillons {{{0, 0}, r},     {{499, 399}, r}, {{500, 399}, v},
                         {{499, 400}, b}, {{500, 400}, j}, {{639, 479}, j}};
    QTest::newRow("stretched, smaller") << 3 << imageQuadrants(200, 100) << "png" << quartsEcran;
    QTest::newRow("stretched, larger jpeg") << 3 << imageQuadrants(1600, 1000) << "jpg" << quartsEcran;
    QTest::newRow("stretched keeps the white sides")
        << 3 << imageBandes(400, 100) << "png"
        << Echantillons {{{5, 240}, Qt::white}, {{634, 240}, Qt::white}, {{200, 100}, r}, {{440, 380}, j}};
    QTest::newRow("fitted, wide: bars above and below")
        << 4 << imageQuadrants(400, 100) << "png"
        << Echantillons {{{320, 0}, n}, {{320, 159}, n}, {{0, 160}, r},   {{639, 160}, v},
                         {{0, 319}, b}, {{639, 319}, j}, {{320, 320}, n}, {{320, 479}, n}};
    QTest::newRow("fitted, tall larger jpeg: side bars")
        << 4 << imageQuadrants(500, 2000) << "jpg"
        << Echantillons {{{100, 240}, n}, {{255, 240}, n}, {{540, 240}, n}, {{385, 240}, n},
                         {{268, 8}, r},   {{371, 8}, v},   {{268, 471}, b}, {{371, 471}, j}};
    QTest::newRow("filled, wide: sides cropped") << 5 << imageBandes(400, 100) << "png" << quartsEcran;
    QTest::newRow("filled, tall larger jpeg") << 5 << imageBandes(600, 2400) << "jpg" << quartsEcran;
    QTest::newRow("filled, wide larger jpeg") << 5 << imageBandes(2560, 640) << "jpg" << quartsEcran;
    QTest::newRow("filled, twice the screen jpeg") << 5 << imageQuadrants(1280, 960) << "jpg" << quartsEcran;
    QTest::newRow("nothing stored means filled") << 0 << imageBandes(400, 100) << "png" << quartsEcran;
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
    QCOMPARE(bureau.lirePosition(), position);
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    const QString ecarts = decrire(captureRacine(), echantillons, format == QLatin1String("png") ? 8 : 40);
    QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts));
}

void TestBureauX11::pixmapPublieEtAncienLibere()
{
    BureauX11 bureau;
    bureau.appliquerFondEcran(ecrire(QStringLiteral("premier.png"), imageUnie(Qt::cyan)));
    QVERIFY(bureau.attendre(delaiMax));
    const xcb_pixmap_t premier = pixmapRacine("_XROOTPMAP_ID");
    QVERIFY(premier != XCB_NONE);
    QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), premier);
    QCOMPARE(taillePixmap(premier), QSize(640, 480));

    bureau.appliquerFondEcran(ecrire(QStringLiteral("second.png"), imageUnie(Qt::magenta)));
    QVERIFY(bureau.attendre(delaiMax));
    const xcb_pixmap_t second = pixmapRacine("_XROOTPMAP_ID");
    QVERIFY(second != XCB_NONE);
    QVERIFY(second != premier);
    QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), second);
    QCOMPARE(taillePixmap(second), QSize(640, 480));
    QVERIFY2(!taillePixmap(premier).isValid(), "the previous root pixmap was not freed");
    QCOMPARE(centre(), QColor(Qt::magenta));
}

void TestBureauX11::magasinAllerRetour_data()
{
    QTest::addColumn<int>("position");
    for (int p = 1; p <= 5; ++p)
        QTest::addRow("%d", p) << p;
}

void TestBureauX11::magasinAllerRetour()
{
    QFETCH(int, position);
    BureauX11 bureau;
    bureau.enregistrerPosition(position);
    QCOMPARE(bureau.lirePosition(), position);
    QCOMPARE(BureauX11().lirePosition(), position);

    StylePapierPeint attendu;
    QVERIFY(styleDePosition(position, &attendu));
    const QSettings magasin(BureauX11::cheminMagasin(), QSettings::IniFormat);
    QCOMPARE(magasin.value(QStringLiteral("WallpaperStyle")).toString(), attendu.style);
    QCOMPARE(magasin.value(QStringLiteral("TileWallpaper")).toString(), attendu.tuile);
    QVERIFY(!BureauX11::cheminMagasin().endsWith(QLatin1String("Papirol2.ini")));
}

void TestBureauX11::positionHorsBornesNeChangeRien_data()
{
    QTest::addColumn<int>("avant");
    QTest::addColumn<int>("position");
    QTest::newRow("0 over 3") << 3 << 0;
    QTest::newRow("6 over 3") << 3 << 6;
    QTest::newRow("-1 over 4") << 4 << -1;
    QTest::newRow("6 with nothing stored") << 0 << 6;
    QTest::newRow("0 with nothing stored") << 0 << 0;
}

void TestBureauX11::positionHorsBornesNeChangeRien()
{
    QFETCH(int, avant);
    QFETCH(int, position);
    BureauX11 bureau;
    if (avant != 0) {
        bureau.enregistrerPosition(avant);
        bureau.appliquerFondEcran(ecrire(QStringLiteral("horsbornes.png"), imageQuadrants(200, 100)));
        QVERIFY(bureau.attendre(delaiMax));
    }
    QFile fichier(BureauX11::cheminMagasin());
    const QByteArray contenu = fichier.open(QIODevice::ReadOnly) ? fichier.readAll() : QByteArray();
    fichier.close();
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");

    bureau.enregistrerPosition(position);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(bureau.lirePosition(), avant);
    QCOMPARE(pixmapRacine("_XROOTPMAP_ID"), pixmap);
    if (avant == 0) {
        QVERIFY(!QFile::exists(BureauX11::cheminMagasin()));
    } else {
        QVERIFY(fichier.open(QIODevice::ReadOnly));
        QCOMPARE(fichier.readAll(), contenu);
    }
}

void TestBureauX11::paireIllisibleDonneZero_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<int>("attendu");
    QTest::newRow("valid pair is read") << QByteArray("[General]\nWallpaperStyle=10\nTileWallpaper=0\n") << 5;
    QTest::newRow("style only") << QByteArray("[General]\nWallpaperStyle=0\n") << 0;
    QTest::newRow("tile only") << QByteArray("[General]\nTileWallpaper=1\n") << 0;
    QTest::newRow("unknown style") << QByteArray("[General]\nWallpaperStyle=7\nTileWallpaper=0\n") << 0;
    QTest::newRow("unknown pair") << QByteArray("[General]\nWallpaperStyle=2\nTileWallpaper=1\n") << 0;
    QTest::newRow("empty values") << QByteArray("[General]\nWallpaperStyle=\nTileWallpaper=\n") << 0;
    QTest::newRow("other section") << QByteArray("[Autre]\nWallpaperStyle=0\nTileWallpaper=1\n") << 0;
    QTest::newRow("binary junk") << QByteArray("\x00\xff[\x01=\n\x89PNG", 10) << 0;
    QTest::newRow("a folder in its place") << QByteArray() << 0;
}

void TestBureauX11::paireIllisibleDonneZero()
{
    QFETCH(QByteArray, contenu);
    QFETCH(int, attendu);
    const QString chemin = BureauX11::cheminMagasin();
    QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
    if (contenu.isEmpty()) {
        QVERIFY(QDir().mkpath(chemin));
    } else {
        QFile fichier(chemin);
        QVERIFY(fichier.open(QIODevice::WriteOnly));
        fichier.write(contenu);
        // A distinct date per row, so no cached copy of an earlier row is taken for this one.
        static int rang = 0;
        QVERIFY(fichier.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)).addSecs(++rang),
                                    QFileDevice::FileModificationTime));
    }
    const int lu = BureauX11().lirePosition();
    if (contenu.isEmpty())
        QVERIFY(QDir(chemin).removeRecursively());
    QCOMPARE(lu, attendu);
}

void TestBureauX11::changementDePositionRedessine_data()
{
    QTest::addColumn<bool>("redemarrer");
    QTest::newRow("same session") << false;
    QTest::newRow("after a restart") << true;
}

void TestBureauX11::changementDePositionRedessine()
{
    QFETCH(bool, redemarrer);
    const QString chemin = ecrire(QStringLiteral("re\ndraw 'é' %1 #.png"), imageQuadrants(200, 100));
    QVERIFY(!chemin.isEmpty());
    auto bureau = std::make_unique<BureauX11>();
    bureau->enregistrerPosition(1);
    bureau->appliquerFondEcran(chemin);
    QVERIFY(bureau->attendre(delaiMax));
    QCOMPARE(captureRacine().pixelColor(8, 8), QColor(Qt::black));
    if (redemarrer)
        bureau = std::make_unique<BureauX11>();

    bureau->enregistrerPosition(3);
    QVERIFY(bureau->attendre(delaiMax));
    const QImage capture = captureRacine();
    QCOMPARE(capture.pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(capture.pixelColor(631, 471), QColor(Qt::yellow));
    QCOMPARE(bureau->lirePosition(), 3);
}

void TestBureauX11::entreeInvalideLaisseLeFond_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QString>("genre");
    QTest::newRow("missing file") << "absent.jpg" << QByteArray() << "absent";
    QTest::newRow("deleted since listed") << "efface.jpg" << QByteArray() << "efface";
    QTest::newRow("text named .jpg") << "texte.jpg" << QByteArray("not a picture at all\n") << "fichier";
    QTest::newRow("empty .jpg") << "vide.jpg" << QByteArray() << "fichier";
    QTest::newRow("png named .jpg, truncated") << "coupe.jpg" << bombePng(64).left(20) << "fichier";
    QTest::newRow("png claiming 30000x30000") << "bombe.png" << bombePng(30000) << "fichier";
    QTest::newRow("png claiming 16000x16000") << "bombe16k.png" << bombePng(16000) << "fichier";
    QTest::newRow("jpeg claiming 30000x30000") << "bombe.jpg" << bombeJpeg(30000) << "fichier";
    QTest::newRow("folder named .jpg") << "dossier.jpg" << QByteArray() << "dossier";
    QTest::newRow("pipe named .jpg") << "tube.jpg" << QByteArray() << "tube";
    QTest::newRow("empty path") << "" << QByteArray() << "vide";
}

void TestBureauX11::entreeInvalideLaisseLeFond()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);
    QFETCH(QString, genre);

    BureauX11 bureau;
    bureau.enregistrerPosition(5);
    bureau.appliquerFondEcran(ecrire(QStringLiteral("avant.png"), imageQuadrants(320, 240)));
    QVERIFY(bureau.attendre(delaiMax));
    const QImage avant = captureRacine();
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");

    QString chemin = dossier.filePath(nom);
    if (genre == QLatin1String("fichier") || genre == QLatin1String("efface")) {
        QFile fichier(chemin);
        QVERIFY(fichier.open(QIODevice::WriteOnly));
        fichier.write(contenu);
        fichier.close();
        if (genre == QLatin1String("efface"))
            QVERIFY(fichier.remove());
    } else if (genre == QLatin1String("dossier")) {
        QVERIFY(QDir().mkpath(chemin));
    } else if (genre == QLatin1String("tube")) {
        QCOMPARE(mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    } else if (genre == QLatin1String("vide")) {
        chemin.clear();
    }
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(pixmapRacine("_XROOTPMAP_ID"), pixmap);
    QVERIFY(captureRacine() == avant);
}

void TestBureauX11::nomsHostiles_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QColor>("couleur");
    const QStringList noms {QStringLiteral("avec des espaces.png"),
                            QStringLiteral("apostrophe ' et \" guillemets.png"),
                            QStringLiteral("retour\nà la ligne.png"),
                            QStringLiteral("pour%cent %s %n %1.png"),
                            QStringLiteral("#dièse.png"),
                            QStringLiteral("été ünï 日本語 😀.png"),
                            QStringLiteral("-tiret en tête.png"),
                            QStringLiteral("$(touch pwned); `id`.png"),
                            QStringLiteral("barre\\oblique.png"),
                            QStringLiteral("*?[].png"),
                            QStringLiteral("png sous un nom.jpg"),
                            QStringLiteral("sans suffixe")};
    for (int i = 0; i < noms.size(); ++i)
        QTest::newRow(qPrintable(QString(noms.at(i)).replace(QLatin1Char('\n'), QLatin1String("\\n"))))
            << noms.at(i) << QColor(QColor::fromHsv(i * 360 / int(noms.size()), 255, 255).rgb());
}

void TestBureauX11::nomsHostiles()
{
    QFETCH(QString, nom);
    QFETCH(QColor, couleur);
    const QString chemin = ecrire(nom, imageUnie(couleur), "png");
    QVERIFY(!chemin.isEmpty());
    BureauX11 bureau;
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(centre(), couleur);
    QCOMPARE(QSettings(BureauX11::cheminMagasin(), QSettings::IniFormat)
                 .value(QStringLiteral("Wallpaper"))
                 .toString(),
             chemin);
}

void TestBureauX11::seuleLaDerniereDemandeCompte()
{
    QStringList chemins;
    for (int i = 0; i < 12; ++i)
        chemins << ecrire(QStringLiteral("suite%1.png").arg(i), imageUnie(QColor::fromHsv(i * 30, 255, 200)));
    BureauX11 bureau;
    for (const QString &chemin : std::as_const(chemins))
        bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(centre(), QColor(QColor::fromHsv(11 * 30, 255, 200).rgb()));
}

void TestBureauX11::rienNEstPerduALaFermeture()
{
    const QString chemin = ecrire(QStringLiteral("fermeture.png"), imageUnie(Qt::darkCyan));
    {
        BureauX11 bureau;
        bureau.appliquerFondEcran(chemin);
    }
    QCOMPARE(centre(), QColor(Qt::darkCyan));
}

QTEST_GUILESS_MAIN(TestBureauX11)
#include "bureaux11.moc"
