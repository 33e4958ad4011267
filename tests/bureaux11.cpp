#include "desktop/x11/bureaux11.h"
#include "commun.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <xcb/xcb.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace {
// Generous bound so that a hang fails the test instead of the whole run.
constexpr int delaiMax = 60000;

QString ecrire(const QString &nom, const QImage &image, const char *format = nullptr)
{
    const QString chemin = dossierImages() + nom;
    return ecrireImage(chemin, image, format) ? chemin : QString();
}

// A picture of 4x4 cells, each of its own colour: a wrong crop, scale or place shows as a wrong cell.
QColor cellule(double u, double v)
{
    const int i = std::clamp(int(u * 4), 0, 3), j = std::clamp(int(v * 4), 0, 3);
    return QColor::fromHsv((j * 4 + i) * 22, 255, (i + j) % 2 ? 150 : 255);
}

QImage imageCellules(QSize taille)
{
    QImage image(taille, QImage::Format_RGB32);
    QPainter peintre(&image);
    const int w = taille.width(), h = taille.height();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            peintre.fillRect(
                QRect(QPoint(w * i / 4, h * j / 4), QPoint(w * (i + 1) / 4 - 1, h * (j + 1) / 4 - 1)),
                cellule((i + 0.5) / 4, (j + 0.5) / 4));
    return image;
}

/** What a screen shows at a point, given its size. */
using Vue = std::function<QColor(QSize, QPointF)>;

/** The layouts as a user expects them on each screen, for a picture of cells of that size. */
Vue vueCellules(int position, QSize image)
{
    return [position, image](QSize ecran, QPointF p) {
        const double iw = image.width(), ih = image.height(), w = ecran.width(), h = ecran.height();
        QRectF cadre(0, 0, w, h);
        if (position == 1) {
            cadre = QRectF((w - iw) / 2, (h - ih) / 2, iw, ih);
        } else if (position == 2) {
            cadre = QRectF(0, 0, iw, ih);
            p = QPointF(std::fmod(p.x(), iw), std::fmod(p.y(), ih));
        } else if (position != 3) {
            const double e = position == 4 ? std::min(w / iw, h / ih) : std::max(w / iw, h / ih);
            cadre = QRectF((w - iw * e) / 2, (h - ih * e) / 2, iw * e, ih * e);
        }
        if (!cadre.contains(p))
            return QColor(Qt::black);
        return cellule((p.x() - cadre.x()) / cadre.width(), (p.y() - cadre.y()) / cadre.height());
    };
}

/** Empty when the root shows each screen's view on it, and black off them unless rienAilleurs; else the first
 * wrong pixel. */
QString ecart(const QImage &capture, const QList<QPair<QRect, Vue>> &ecrans, int tolerance,
              bool rienAilleurs = false)
{
    if (capture.isNull())
        return QStringLiteral("no capture");
    // Rounding may go either way near an edge (of a cell, the picture or a screen): such points are skipped.
    const QPoint coins[] = {{-5, -5}, {5, -5}, {-5, 5}, {5, 5}};
    for (int y = 2; y < capture.height(); y += 7) {
        for (int x = 2; x < capture.width(); x += 7) {
            const QPoint p(x, y);
            std::optional<QColor> attendu;
            if (!rienAilleurs)
                attendu = QColor(Qt::black);
            bool net = true;
            for (const auto &[ecran, vue] : ecrans) {
                const auto vuEn = [&, &ecran = ecran, &vue = vue](QPoint q) {
                    return ecran.contains(q)
                        ? vue(ecran.size(), QPointF(q - ecran.topLeft()) + QPointF(0.5, 0.5))
                        : QColor();
                };
                const QColor ici = vuEn(p);
                for (const QPoint &d : coins)
                    net = net && vuEn(p + d) == ici;
                if (ici.isValid())
                    attendu = ici;
            }
            if (!net)
                attendu.reset();
            if (attendu && !procheDe(capture.pixelColor(p), *attendu, tolerance))
                return QStringLiteral("%1,%2 shows %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(capture.pixelColor(p).name(), attendu->name());
        }
    }
    return {};
}

/** A nested X server with Xinerama heads of these sizes side by side and no RandR, the display while it
 * lives. */
class Xinerama final
{
public:
    explicit Xinerama(const QList<QRect> &tetes)
        : hote(qgetenv("DISPLAY"))
    {
        QStringList arguments {QStringLiteral("-displayfd"), QStringLiteral("1"),
                               QStringLiteral("+xinerama"),  QStringLiteral("-extension"),
                               QStringLiteral("RANDR"),      QStringLiteral("-nolisten"),
                               QStringLiteral("tcp")};
        for (const QRect &tete : tetes)
            arguments << QStringLiteral("-screen")
                      << QStringLiteral("%1x%2").arg(tete.width()).arg(tete.height());
        serveur.start(QStringLiteral("Xephyr"), arguments);
        QByteArray numero;
        while (!numero.endsWith('\n') && serveur.waitForReadyRead(10000))
            numero += serveur.readAllStandardOutput();
        if (!numero.trimmed().isEmpty())
            qputenv("DISPLAY", ':' + numero.trimmed());
    }
    ~Xinerama()
    {
        qputenv("DISPLAY", hote);
        serveur.terminate();
        serveur.waitForFinished();
    }
    bool pret() const { return qgetenv("DISPLAY") != hote; }

private:
    QByteArray hote;
    QProcess serveur;
};

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

template<typename T>
QByteArray grosBoutiste(T valeur)
{
    QByteArray octets(sizeof(T), '\0');
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
    return grosBoutiste(quint32(donnees.size())) + corps + grosBoutiste(~crc);
}

QByteArray png(QSize taille, char typeCouleur, const QByteArray &lignes)
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8)
        + bloc("IHDR",
               grosBoutiste(quint32(taille.width())) + grosBoutiste(quint32(taille.height())) + '\x08'
                   + typeCouleur + QByteArray(3, '\0'))
        + bloc("IDAT", qCompress(lignes, 1).mid(4)) + bloc("IEND", {});
}

/** A few dozen bytes of PNG claiming a huge RGBA picture. */
QByteArray bombePng(quint32 cote)
{
    return png(QSize(int(cote), int(cote)), '\x06', {});
}

/** A real RGB PNG of one colour: each row repeats its first pixel, and the one above. */
QByteArray pngUni(QSize taille, QColor couleur)
{
    const qsizetype ligne = 1 + 3 * qsizetype(taille.width());
    QByteArray lignes(ligne * taille.height(), '\0');
    for (qsizetype i = 0; i < lignes.size(); i += ligne)
        lignes[i] = '\x02';
    lignes[0] = '\x01';
    lignes[1] = char(couleur.red());
    lignes[2] = char(couleur.green());
    lignes[3] = char(couleur.blue());
    return png(taille, '\x02', lignes);
}

/** A JPEG header claiming a huge 4:4:4 picture and no data: decoders make up grey pixels for all of it. */
QByteArray bombeJpeg(quint16 cote, bool progressif = false, char composantes = 3)
{
    QByteArray sof = QByteArray(progressif ? "\xff\xc2" : "\xff\xc0", 2)
        + grosBoutiste(quint16(8 + 3 * composantes)) + '\x08' + grosBoutiste(cote) + grosBoutiste(cote)
        + composantes;
    QByteArray sos = "\xff\xda" + grosBoutiste(quint16(6 + 2 * composantes)) + composantes;
    for (char i = 1; i <= composantes; ++i) {
        sof += i + QByteArray("\x11\0", 2);
        sos += i + QByteArray(1, '\0');
    }
    // A progressive picture starts with its DC coefficients alone, and brings its own Huffman table.
    sos += progressif ? QByteArray(3, '\0') : QByteArray("\0\x3f\0", 3);
    const QByteArray dht = QByteArray("\xff\xc4\0\x14\0\x01", 6) + QByteArray(16, '\0');
    return QByteArray("\xff\xd8\xff\xdb\x00\x43\x00", 7) + QByteArray(64, '\x01') + sof
        + (progressif ? dht : QByteArray()) + sos + "\xff\xd9";
}
} // namespace

class TestBureauX11 final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QFile::remove(BureauX11::cheminMagasin()); }
    void cleanup() { reglerEcrans({}); }
    void ecrans_data();
    void ecrans();
    void changementDEcrans();
    void magasin_data();
    void magasin();
    void magasinInaccessible();
    void entrees_data();
    void entrees();
    void publicationEtFileDAttente();
};

void TestBureauX11::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCOMPARE(captureRacine().size(), QSize(640, 480));
}

void TestBureauX11::ecrans_data()
{
    QTest::addColumn<QList<QRect>>("ecrans");
    QTest::addColumn<bool>("xinerama");
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QString>("format");

    const QList<QRect> cote {QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)};
    const QList<std::tuple<const char *, QList<QRect>, bool, QSize, const char *>> cas {
        {"whole root", {}, false, QSize(160, 120), "png"},
        {"side by side, of different shapes", cote, false, QSize(160, 120), "png"},
        {"two alike above a wider one",
         {QRect(0, 0, 320, 200), QRect(320, 0, 320, 200), QRect(0, 200, 400, 280)},
         false,
         QSize(160, 120),
         "png"},
        {"Xinerama heads, no RandR", cote, true, QSize(160, 120), "png"},
        {"side by side, larger jpeg", cote, false, QSize(1200, 900), "jpg"},
    };
    for (const auto &[nom, ecrans, xinerama, image, format] : cas)
        for (int position = 1; position <= 5; ++position)
            QTest::addRow("%s, layout %d", nom, position)
                << ecrans << xinerama << position << image << QString::fromLatin1(format);
}

void TestBureauX11::ecrans()
{
    QFETCH(QList<QRect>, ecrans);
    QFETCH(bool, xinerama);
    QFETCH(int, position);
    QFETCH(QSize, image);
    QFETCH(QString, format);

    std::unique_ptr<Xinerama> tetes;
    if (xinerama) {
        tetes = std::make_unique<Xinerama>(ecrans);
        QVERIFY2(tetes->pret(), "Xephyr did not start");
    } else {
        QVERIFY(reglerEcrans(ecrans));
    }
    const QString chemin = ecrire(QStringLiteral("ecrans.") + format, imageCellules(image));
    BureauX11 bureau;
    disposerSur(bureau, position, 0);
    bureau.montrer(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    const QImage capture = captureRacine();
    QList<QPair<QRect, Vue>> attendus;
    for (const QRect &ecran : ecrans.isEmpty() ? QList<QRect> {capture.rect()} : ecrans)
        attendus.append({ecran, vueCellules(position, image)});
    // Off the heads, a Xinerama root shows no framebuffer at all.
    const QString erreur = ecart(capture, attendus, format == QLatin1String("png") ? 8 : 40, xinerama);
    QVERIFY2(erreur.isEmpty(), qPrintable(erreur));
}

void TestBureauX11::changementDEcrans()
{
    const QRect gauche(0, 0, 320, 240), dessous(320, 240, 320, 240), large(0, 240, 640, 240);
    QVERIFY(reglerEcrans({gauche, QRect(320, 0, 320, 240)}));
    const QString chemin = ecrire(QStringLiteral("changement.png"), imageCellules({160, 120}));
    BureauX11 bureau;
    disposerSur(bureau, 3, 0);
    bureau.montrer(chemin);
    QVERIFY(bureau.attendre(delaiMax));
    // The file now holds another picture: only a screen of a size not drawn yet may show it.
    QVERIFY(ecrireImage(chemin, imageUnie(Qt::white), "png"));
    const Vue cellules = vueCellules(3, {160, 120});
    const Vue blanc = [](QSize, QPointF) {
        return QColor(Qt::white);
    };
    const QStringList retirer {QStringLiteral("--delmonitor"), QStringLiteral("m1")};
    const QList<std::tuple<const char *, QList<QStringList>, QList<QPair<QRect, Vue>>>> etapes {
        {"moved", {retirer, moniteur(1, dessous)}, {{gauche, cellules}, {dessous, cellules}}},
        {"removed", {retirer}, {{gauche, cellules}}},
        {"added, of a new size", {moniteur(1, large)}, {{gauche, cellules}, {large, blanc}}},
    };
    for (const auto &[quoi, commandes, attendus] : etapes) {
        for (const QStringList &commande : commandes)
            QVERIFY(xrandr(commande));
        QString erreur;
        QVERIFY2(
            QTest::qWaitFor([&] { return (erreur = ecart(captureRacine(), attendus, 8)).isEmpty(); }, 5000),
            qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(quoi), erreur)));
    }

    // A picture asked for while another is drawn is not dropped for a redraw when the screens change then.
    const QString lente = ecrire(QStringLiteral("lente.png"), imageCellules({3000, 2000}));
    const QString cyan = ecrire(QStringLiteral("cyan.png"), imageUnie(Qt::cyan));
    QVERIFY(xrandr(retirer));
    disposerSur(bureau, 3, 0);
    bureau.montrer(lente);
    bureau.montrer(cyan);
    QCoreApplication::processEvents();
    QVERIFY(bureau.attendre(delaiMax));
    const QString erreur = ecart(captureRacine(),
                                 {{gauche,
                                   [](QSize, QPointF) {
                                       return QColor(Qt::cyan);
                                   }}},
                                 8);
    QVERIFY2(erreur.isEmpty(), qPrintable(erreur));
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
        disposerSur(*bureau, avant, 0);
        // The picture to redraw after a restart is read back from the store: a name that ini text mangles.
        bureau->montrer(ecrire(QStringLiteral("re\ndraw 'é' %1 #\\;.png"), imageQuadrants(200, 100)));
        QVERIFY(bureau->attendre(delaiMax));
    }
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");
    if (redemarrer)
        bureau = std::make_unique<BureauX11>();

    disposerSur(*bureau, position, 0);
    QVERIFY(bureau->attendre(delaiMax));
    BureauX11 autre;
    QCOMPARE(positionSur(autre), attendu);
    if (attendu == avant) {
        QCOMPARE(pixmapRacine("_XROOTPMAP_ID"), pixmap);
    } else if (avant != 0) {
        // Centred left the corner black; stretched fills it.
        QCOMPARE(captureRacine().pixelColor(8, 8), QColor(Qt::red));
    }
}

void TestBureauX11::magasinInaccessible()
{
    const QString chemin = BureauX11::cheminMagasin();
    QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
    QFile fichier(chemin);
    QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write("\x00\xff[\x01=\n\x89PNG", 10));
    fichier.close();
    BureauX11 vide;
    QCOMPARE(positionSur(vide), 0);
    // A folder in its place can be neither read nor written, even by root; the layout chosen still holds.
    QVERIFY(fichier.remove() && QDir().mkpath(chemin));
    const auto menage = qScopeGuard([&] { QDir().rmdir(chemin); });
    BureauX11 bureau;
    QCOMPARE(positionSur(bureau), 0);
    disposerSur(bureau, 1, 0);
    QCOMPARE(positionSur(bureau), 1);
    bureau.montrer(ecrire(QStringLiteral("centree.png"), imageQuadrants(200, 100)));
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(captureRacine().pixelColor(8, 8), QColor(Qt::black));
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
    // A camera's largest picture is shown; more is refused from the header, as is a JPEG too short for its
    // size.
    const QColor orange(255, 128, 0);
    QTest::newRow("png, real 12000x8000") << "grande.png" << pngUni(QSize(12000, 8000), orange) << orange;
    QTest::newRow("png claiming 16000x16000") << "bombe16k.png" << bombePng(16000) << QColor();
    QTest::newRow("jpeg claiming 30000x30000") << "bombe.jpg" << bombeJpeg(30000) << QColor();
    QTest::newRow("progressive jpeg claiming 16384x16384")
        << "progressive.jpg" << bombeJpeg(16384, true) << QColor();
    QTest::newRow("progressive cmyk jpeg claiming 10000x10000, no data")
        << "cmyk.jpg" << bombeJpeg(10000, true, 4) << QColor();
}

void TestBureauX11::entrees()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);
    QFETCH(QColor, couleur);

    BureauX11 bureau;
    disposerSur(bureau, 5, 0);
    bureau.montrer(ecrire(QStringLiteral("avant.png"), imageQuadrants(320, 240)));
    QVERIFY(bureau.attendre(delaiMax));
    const QImage avant = captureRacine();
    const xcb_pixmap_t pixmap = pixmapRacine("_XROOTPMAP_ID");

    const QString chemin = dossierImages() + nom;
    QFile fichier(chemin);
    if (!contenu.isNull())
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write(contenu) && fichier.flush());
    else if (couleur.isValid())
        QVERIFY(ecrireImage(chemin, imageUnie(couleur), "png"));
    else if (nom == QLatin1String("dossier.jpg"))
        QVERIFY(QDir().mkpath(chemin));
    else if (nom == QLatin1String("tube.jpg"))
        QCOMPARE(mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    bureau.montrer(chemin);
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
        bureau.montrer(chemins.takeFirst());
        QVERIFY(bureau.attendre(delaiMax));
        const xcb_pixmap_t premier = pixmapRacine("_XROOTPMAP_ID");
        QVERIFY(premier != XCB_NONE);
        bureau.montrer(chemins.takeFirst());
        QVERIFY(bureau.attendre(delaiMax));
        const xcb_pixmap_t second = pixmapRacine("_XROOTPMAP_ID");
        QVERIFY(second != premier && pixmapExiste(second));
        QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), second);
        QVERIFY2(!pixmapExiste(premier), "the previous root pixmap was not freed");
        // Going away at once drops what waits and what is not handed over yet: the screen shows the second
        // picture, or the third if it was already on its way, whole. (Pixmap ids are not compared from here
        // on: a freed client's ids may be handed out again.)
        for (const QString &chemin : std::as_const(chemins))
            bureau.montrer(chemin);
    }
    const QColor vue = captureRacine().pixelColor(320, 240);
    QVERIFY2(vue == QColor(QColor::fromHsv(40, 255, 200).rgb())
                 || vue == QColor(QColor::fromHsv(80, 255, 200).rgb()),
             qPrintable(vue.name()));
    QCOMPARE(pixmapRacine("ESETROOT_PMAP_ID"), pixmapRacine("_XROOTPMAP_ID"));
}

QTEST_GUILESS_MAIN(TestBureauX11)
#include "bureaux11.moc"
