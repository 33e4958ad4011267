#include "commun.h"
#include "desktop/image/geometrie.h"
#include "desktop/image/rendu.h"
#include "desktop/ouvrier.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Echantillons = QList<QPair<QPoint, QColor>>;

namespace {
// A JPEG as a camera stores it: the pixels as the sensor saw them, and an Exif orientation tag (1..8).
QByteArray jpegAvecOrientation(const QImage &stockee, quint8 orientation)
{
    QBuffer tampon;
    tampon.open(QIODevice::WriteOnly);
    stockee.save(&tampon, "JPEG", 95);
    // APP1 of 34 bytes: a big-endian TIFF header with one entry, Orientation (0x0112), SHORT, 1 value.
    QByteArray app1("\xff\xe1\0\x22"
                    "Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0",
                    36);
    app1[29] = char(orientation);
    return tampon.buffer().insert(2, app1);
}
} // namespace

class TestDisposition final : public QObject
{
    Q_OBJECT

private slots:
    void plan_data();
    void plan();
    void repetitionDeLaMosaique_data();
    void repetitionDeLaMosaique();
    void orientationDeLAppareil_data();
    void orientationDeLAppareil();
    void tubeALaPlaceDeLImage();
};

void TestDisposition::plan_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("cadre");
    QTest::addColumn<QRect>("source");

    const QRect entiere(0, 0, 200, 100);
    QTest::newRow("centred, smaller") << 1 << QSize(200, 100) << QRect(220, 190, 200, 100) << entiere;
    QTest::newRow("centred, larger: the middle")
        << 1 << QSize(1000, 800) << QRect(-180, -160, 1000, 800) << QRect(180, 160, 640, 480);
    QTest::newRow("tiled keeps its size") << 2 << QSize(200, 100) << QRect(0, 0, 200, 100) << entiere;
    QTest::newRow("tiled, larger: the top-left")
        << 2 << QSize(1000, 800) << QRect(0, 0, 1000, 800) << QRect(0, 0, 640, 480);
    QTest::newRow("stretched") << 3 << QSize(200, 100) << QRect(0, 0, 640, 480) << entiere;
    QTest::newRow("fitted, wide") << 4 << QSize(400, 100) << QRect(0, 160, 640, 160) << QRect(0, 0, 400, 100);
    QTest::newRow("fitted, tall") << 4 << QSize(100, 400) << QRect(260, 0, 120, 480) << QRect(0, 0, 100, 400);
    QTest::newRow("filled, wide: the middle third")
        << 5 << QSize(2560, 640) << QRect(-640, 0, 1920, 480) << QRect(853, 0, 854, 640);
    QTest::newRow("filled, tall: the middle")
        << 5 << QSize(100, 400) << QRect(0, -1040, 640, 2560) << QRect(0, 162, 100, 76);
    QTest::newRow("unknown 6 is filled")
        << 6 << QSize(400, 100) << QRect(-640, 0, 1920, 480) << QRect(133, 0, 134, 100);
    QTest::newRow("thin line fitted keeps a row")
        << 4 << QSize(30000, 1) << QRect(0, 239, 640, 1) << QRect(0, 0, 30000, 1);
    QTest::newRow("empty picture") << 5 << QSize(0, 0) << QRect() << QRect();
}

void TestDisposition::plan()
{
    QFETCH(int, position);
    QFETCH(QSize, image);
    QFETCH(QRect, cadre);
    QFETCH(QRect, source);
    const QSize ecran(640, 480);
    QCOMPARE(placement(Disposition(position), image, ecran), cadre);
    const PlanDecodage plan = planDecodage(Disposition(position), image, ecran);
    QCOMPARE(plan.source, source);
    QCOMPARE(plan.estVide(), cadre.isEmpty());
    if (!cadre.isEmpty()) {
        // What is decoded lands exactly on the part of the placed picture that shows.
        const QRect visible = cadre & QRect(QPoint(0, 0), ecran);
        QCOMPARE(QRect(plan.destination, plan.sortie), visible);
        QCOMPARE(plan.decoupeEchelle, visible.translated(-cadre.topLeft()));
    }
}

void TestDisposition::repetitionDeLaMosaique_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<Echantillons>("echantillons");

    // The tile is copied by doubling spans: odd and tiny sizes must still meet the edges.
    const QColor rouge(Qt::red), vert(Qt::green), jaune(Qt::yellow);
    QTest::newRow("tiny tile repeats to the edges")
        << QSize(2, 2)
        << Echantillons {
               {{0, 0}, rouge}, {{1, 0}, vert}, {{638, 478}, rouge}, {{639, 479}, jaune}, {{637, 1}, jaune}};
    QTest::newRow("odd tile repeats from the corner")
        << QSize(300, 200) << Echantillons {{{0, 0}, rouge},     {{299, 199}, jaune}, {{300, 0}, rouge},
                                            {{600, 200}, rouge}, {{639, 479}, rouge}, {{451, 301}, jaune}};
}

void TestDisposition::repetitionDeLaMosaique()
{
    QFETCH(QSize, image);
    QFETCH(Echantillons, echantillons);
    const QSize ecran(640, 480);
    const PlanDecodage plan = planDecodage(Disposition::Mosaique, image, ecran);
    const QImage resultat
        = composer(reduire(imageQuadrants(image.width(), image.height()), plan), plan, ecran);
    for (const auto &[point, couleur] : echantillons)
        QVERIFY2(procheDe(resultat.pixelColor(point), couleur, 8),
                 qPrintable(QStringLiteral("%1,%2").arg(point.x()).arg(point.y())));
}

void TestDisposition::orientationDeLAppareil_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("droite");

    // Larger than the screen, so that JPEG scales while decoding; and smaller, so that it does not.
    for (const int orientation : {3, 6, 8})
        for (const int position : {1, 3, 4, 5})
            for (const QSize droite : {QSize(600, 900), QSize(60, 90)})
                QTest::addRow("orientation %d, layout %d, %dx%d", orientation, position, droite.width(),
                              droite.height())
                    << orientation << position << droite;
}

void TestDisposition::orientationDeLAppareil()
{
    QFETCH(int, orientation);
    QFETCH(int, position);
    QFETCH(QSize, droite);

    const QImage debout = imageQuadrants(droite.width(), droite.height());
    // What the sensor stored: the upright picture turned back.
    const int angle = orientation == 3 ? 180 : orientation == 6 ? -90 : 90;
    QFile photo(dossierImages() + QStringLiteral("photo.jpg"));
    QVERIFY(photo.open(QIODevice::WriteOnly)
            && photo.write(
                   jpegAvecOrientation(debout.transformed(QTransform().rotate(angle)), quint8(orientation)))
                > 0);
    photo.close();
    const QString reference = dossierImages() + QStringLiteral("debout.png");
    QVERIFY(debout.save(reference));

    const QSize ecran(320, 240);
    const QImage vu = rendrePourEcran(photo.fileName(), Disposition(position), ecran);
    const QImage attendu = rendrePourEcran(reference, Disposition(position), ecran);
    QCOMPARE(vu.size(), ecran);
    // Away from the quadrants' edges, where JPEG and scaling blur.
    for (int y = 12; y < ecran.height(); y += 24)
        for (int x = 16; x < ecran.width(); x += 32)
            QVERIFY2(procheDe(vu.pixelColor(x, y), attendu.pixelColor(x, y)),
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

void TestDisposition::tubeALaPlaceDeLImage()
{
    // A picture and a named pipe take turns at one path while it is drawn again and again: the pipe must be
    // refused, never opened for reading, which waits for a writer forever.
    const auto nom = [](const char *n) {
        return QFile::encodeName(dossierImages() + QLatin1String(n));
    };
    const QByteArray chemin = nom("echange.png"), image = nom("image.png"), tube = nom("tube"),
                     lien = nom("lien");
    QVERIFY(imageQuadrants(64, 48).save(QFile::decodeName(image)));
    QCOMPARE(mkfifo(tube.constData(), 0600), 0);
    const auto mettre = [&](const QByteArray &source) {
        return link(source.constData(), lien.constData()) == 0
            && rename(lien.constData(), chemin.constData()) == 0;
    };
    std::atomic_bool fin {false};
    std::thread echangeur([&] {
        while (!fin && mettre(image) && mettre(tube)) { }
    });
    Ouvrier ouvrier(nullptr);
    std::atomic_int vues {0}, refus {0};
    ouvrier.lancer([&](const Ouvrier::Poste &) {
        for (int i = 0; i < 100000 && !fin && (vues < 100 || refus < 100); ++i) {
            (rendrePourEcran(QFile::decodeName(chemin), Disposition::Rempli, QSize(64, 48)).isNull()
                 ? refus
                 : vues)++;
            std::this_thread::yield();
        }
    });
    const bool fini = ouvrier.attendre(60000);
    fin = true;
    echangeur.join();
    // Whatever happened, leave the picture in place and let a stuck reader go.
    QVERIFY(mettre(image));
    while (!ouvrier.attendre(100))
        close(open(tube.constData(), O_WRONLY | O_NONBLOCK));
    QVERIFY(fini);
    QVERIFY(vues > 0);
}

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
