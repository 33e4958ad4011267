#include "desktop/disposition.h"
#include "commun.h"
#include "desktop/rendu.h"

#include <QtTest>

class TestDisposition final : public QObject
{
    Q_OBJECT

private slots:
    void placementSelonPosition_data();
    void placementSelonPosition();
    void planNeDecodeQueLeVisible_data();
    void planNeDecodeQueLeVisible();
    void compositionSurNoir_data();
    void compositionSurNoir();
    void orientationDeLAppareil_data();
    void orientationDeLAppareil();
};

void TestDisposition::placementSelonPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("attendu");

    QTest::newRow("centred, smaller") << 1 << QSize(200, 100) << QRect(220, 190, 200, 100);
    QTest::newRow("centred, larger") << 1 << QSize(1000, 800) << QRect(-180, -160, 1000, 800);
    QTest::newRow("tiled keeps own size") << 2 << QSize(200, 100) << QRect(0, 0, 200, 100);
    QTest::newRow("stretched") << 3 << QSize(200, 100) << QRect(0, 0, 640, 480);
    QTest::newRow("fitted, wide") << 4 << QSize(400, 100) << QRect(0, 160, 640, 160);
    QTest::newRow("fitted, tall") << 4 << QSize(100, 400) << QRect(260, 0, 120, 480);
    QTest::newRow("fitted, larger") << 4 << QSize(3200, 800) << QRect(0, 160, 640, 160);
    QTest::newRow("fitted, same aspect") << 4 << QSize(320, 240) << QRect(0, 0, 640, 480);
    QTest::newRow("filled, wide") << 5 << QSize(400, 100) << QRect(-640, 0, 1920, 480);
    QTest::newRow("filled, tall") << 5 << QSize(100, 400) << QRect(0, -1040, 640, 2560);
    QTest::newRow("filled, larger") << 5 << QSize(2560, 640) << QRect(-640, 0, 1920, 480);
    QTest::newRow("unknown 0 is filled") << 0 << QSize(400, 100) << QRect(-640, 0, 1920, 480);
    QTest::newRow("unknown 6 is filled") << 6 << QSize(400, 100) << QRect(-640, 0, 1920, 480);
    QTest::newRow("thin line fitted keeps a row") << 4 << QSize(30000, 1) << QRect(0, 239, 640, 1);
    QTest::newRow("empty picture") << 5 << QSize(0, 0) << QRect();
}

void TestDisposition::placementSelonPosition()
{
    QFETCH(int, position);
    QFETCH(QSize, image);
    QFETCH(QRect, attendu);
    QCOMPARE(placement(position, image, QSize(640, 480)), attendu);
}

void TestDisposition::planNeDecodeQueLeVisible_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("source");
    QTest::addColumn<QSize>("sortie");
    QTest::addColumn<QPoint>("destination");
    QTest::addColumn<QRect>("decoupeEchelle");

    QTest::newRow("centred, smaller: all of it")
        << 1 << QSize(200, 100) << QRect(0, 0, 200, 100) << QSize(200, 100) << QPoint(220, 190)
        << QRect(0, 0, 200, 100);
    QTest::newRow("centred, larger: the middle")
        << 1 << QSize(1000, 800) << QRect(180, 160, 640, 480) << QSize(640, 480) << QPoint(0, 0)
        << QRect(180, 160, 640, 480);
    QTest::newRow("tiled, larger: the top-left") << 2 << QSize(1000, 800) << QRect(0, 0, 640, 480)
                                                 << QSize(640, 480) << QPoint(0, 0) << QRect(0, 0, 640, 480);
    QTest::newRow("filled, half size: whole, scaled")
        << 5 << QSize(1280, 960) << QRect(0, 0, 1280, 960) << QSize(640, 480) << QPoint(0, 0)
        << QRect(0, 0, 640, 480);
    QTest::newRow("filled, wide: the middle third")
        << 5 << QSize(2560, 640) << QRect(853, 0, 854, 640) << QSize(640, 480) << QPoint(0, 0)
        << QRect(640, 0, 640, 480);
    QTest::newRow("filled, tall: the middle") << 5 << QSize(100, 400) << QRect(0, 162, 100, 76)
                                              << QSize(640, 480) << QPoint(0, 0) << QRect(0, 1040, 640, 480);
    QTest::newRow("fitted: whole, into the band")
        << 4 << QSize(400, 100) << QRect(0, 0, 400, 100) << QSize(640, 160) << QPoint(0, 160)
        << QRect(0, 0, 640, 160);
}

void TestDisposition::planNeDecodeQueLeVisible()
{
    QFETCH(int, position);
    QFETCH(QSize, image);
    QFETCH(QRect, source);
    QFETCH(QSize, sortie);
    QFETCH(QPoint, destination);
    QFETCH(QRect, decoupeEchelle);
    const PlanDecodage plan = planDecodage(position, image, QSize(640, 480));
    QCOMPARE(plan.source, source);
    QCOMPARE(plan.sortie, sortie);
    QCOMPARE(plan.destination, destination);
    QCOMPARE(plan.decoupeEchelle, decoupeEchelle);
    QCOMPARE(plan.echelle, placement(position, image, QSize(640, 480)).size());
}

using Echantillons = QList<QPair<QPoint, QColor>>;

void TestDisposition::compositionSurNoir_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<Echantillons>("echantillons");

    const QColor noir(Qt::black), rouge(Qt::red), vert(Qt::green), bleu(Qt::blue), jaune(Qt::yellow);
    QTest::newRow("centred leaves black around")
        << 1 << QSize(200, 100)
        << Echantillons {{{219, 240}, noir},  {{220, 190}, rouge}, {{419, 190}, vert}, {{220, 289}, bleu},
                         {{419, 289}, jaune}, {{420, 240}, noir},  {{320, 189}, noir}, {{320, 290}, noir}};
    QTest::newRow("tiny tile repeats to the edges")
        << 2 << QSize(2, 2)
        << Echantillons {
               {{0, 0}, rouge}, {{1, 0}, vert}, {{638, 478}, rouge}, {{639, 479}, jaune}, {{637, 1}, jaune}};
    QTest::newRow("odd tile repeats from the corner")
        << 2 << QSize(300, 200)
        << Echantillons {{{0, 0}, rouge},     {{299, 199}, jaune}, {{300, 0}, rouge},
                         {{600, 200}, rouge}, {{639, 479}, rouge}, {{451, 301}, jaune}};
    QTest::newRow("fitted bands are black")
        << 4 << QSize(400, 100)
        << Echantillons {{{320, 159}, noir}, {{0, 160}, rouge}, {{639, 319}, jaune}, {{320, 320}, noir}};
}

void TestDisposition::compositionSurNoir()
{
    QFETCH(int, position);
    QFETCH(QSize, image);
    QFETCH(Echantillons, echantillons);
    const QSize ecran(640, 480);
    const PlanDecodage plan = planDecodage(position, image, ecran);
    const QImage resultat
        = composer(reduire(imageQuadrants(image.width(), image.height()), plan), plan, ecran);
    QCOMPARE(resultat.size(), ecran);
    QCOMPARE(resultat.format(), QImage::Format_RGB32);
    for (const auto &[point, couleur] : echantillons)
        QVERIFY2(procheDe(resultat.pixelColor(point), couleur, 8),
                 qPrintable(QStringLiteral("(%1,%2) is %3, not %4")
                                .arg(point.x())
                                .arg(point.y())
                                .arg(resultat.pixelColor(point).name(), couleur.name())));
}

namespace {
// A JPEG as a camera stores it: the pixels as the sensor saw them, and an Exif orientation tag (1..8).
QByteArray jpegAvecOrientation(const QImage &stockee, quint8 orientation)
{
    QBuffer tampon;
    tampon.open(QIODevice::WriteOnly);
    stockee.save(&tampon, "JPEG", 95);
    // Big-endian TIFF header, one IFD entry: Orientation (0x0112), SHORT, 1 value.
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0", 32);
    exif[25] = char(orientation);
    const int longueur = exif.size() + 2;
    QByteArray segment("\xff\xe1", 2);
    segment.append(char(longueur >> 8)).append(char(longueur & 0xff)).append(exif);
    QByteArray jpeg = tampon.data();
    return jpeg.insert(2, segment);
}
} // namespace

void TestDisposition::orientationDeLAppareil_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("droite");

    // Larger than the screen, so that JPEG scales while decoding; and smaller, so that it does not.
    for (const int orientation : {3, 6, 8}) {
        for (const int position : {1, 3, 4, 5}) {
            for (const QSize droite : {QSize(600, 900), QSize(60, 90)})
                QTest::addRow("orientation %d, layout %d, %dx%d", orientation, position, droite.width(),
                              droite.height())
                    << orientation << position << droite;
        }
    }
}

void TestDisposition::orientationDeLAppareil()
{
    QFETCH(int, orientation);
    QFETCH(int, position);
    QFETCH(QSize, droite);

    const QImage debout = imageQuadrants(droite.width(), droite.height());
    // What the sensor stored: the upright picture turned back.
    const int angle = orientation == 3 ? 180 : orientation == 6 ? -90 : 90;
    const QImage stockee = debout.transformed(QTransform().rotate(angle));
    QTemporaryDir dossier;
    QFile fichier(dossier.filePath(QStringLiteral("photo.jpg")));
    QVERIFY(fichier.open(QIODevice::WriteOnly));
    fichier.write(jpegAvecOrientation(stockee, quint8(orientation)));
    fichier.close();
    const QString reference = dossier.filePath(QStringLiteral("debout.png"));
    QVERIFY(debout.save(reference));

    const QSize ecran(320, 240);
    const QImage vu = rendrePourEcran(fichier.fileName(), position, ecran);
    const QImage attendu = rendrePourEcran(reference, position, ecran);
    QCOMPARE(vu.size(), ecran);
    QStringList ecarts;
    // Away from the quadrants' edges, where JPEG and scaling blur.
    for (int y = 12; y < ecran.height(); y += 24) {
        for (int x = 16; x < ecran.width(); x += 32) {
            if (!procheDe(vu.pixelColor(x, y), attendu.pixelColor(x, y)))
                ecarts << QStringLiteral("(%1,%2) %3 instead of %4")
                              .arg(x)
                              .arg(y)
                              .arg(vu.pixelColor(x, y).name(), attendu.pixelColor(x, y).name());
        }
    }
    QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts.join(QStringLiteral("; "))));
}

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
