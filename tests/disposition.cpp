#include "desktop/disposition.h"
#include "commun.h"
#include "desktop/image/rendu.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void orientationDeLAppareil_data();
    void orientationDeLAppareil();
    void tubeALaPlaceDeLImage();
    void pngParLignes_data();
    void pngParLignes();
};

void TestDisposition::orientationDeLAppareil_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("droite");

    // Larger than the screen, so that JPEG scales while decoding; and smaller, so that it does not.
    for (const int orientation : {3, 6, 8})
        for (const int position : {1, 4, 5})
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

    const QImage debout = imageCellules(droite);
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
    // Away from the cells' edges, where JPEG and scaling blur.
    for (int y = 30; y < ecran.height(); y += 60)
        for (int x = 20; x < ecran.width(); x += 40)
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
    QVERIFY(imageCellules({64, 48}).save(QFile::decodeName(image)));
    QCOMPARE(mkfifo(tube.constData(), 0600), 0);
    const auto mettre = [&](const QByteArray &source) {
        return link(source.constData(), lien.constData()) == 0
            && rename(lien.constData(), chemin.constData()) == 0;
    };
    std::atomic_bool fin {false};
    std::thread echangeur([&] {
        while (!fin && mettre(image) && mettre(tube)) { }
    });
    std::atomic_int vues {0}, refus {0};
    std::atomic_bool lu {false};
    std::thread lecteur([&] {
        for (int i = 0; i < 100000 && !fin && (vues < 100 || refus < 100); ++i) {
            (rendrePourEcran(QFile::decodeName(chemin), Disposition::Rempli, QSize(64, 48)).isNull()
                 ? refus
                 : vues)++;
            std::this_thread::yield();
        }
        lu = true;
    });
    const bool fini = QTest::qWaitFor([&] { return bool(lu); }, 60000);
    fin = true;
    echangeur.join();
    // Whatever happened, leave the picture in place and let a stuck reader go.
    QVERIFY(mettre(image));
    while (!lu)
        close(open(tube.constData(), O_WRONLY | O_NONBLOCK));
    lecteur.join();
    QVERIFY(fini);
    QVERIFY(vues > 0);
}

void TestDisposition::pngParLignes_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("position");
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGBA64, QImage::Format_Grayscale8,
          QImage::Format_Grayscale16, QImage::Format_Indexed8})
        for (const int position : {1, 5})
            QTest::addRow("format %d, layout %d", int(format), position) << int(format) << position;
}

void TestDisposition::pngParLignes()
{
    // Read a row at a time and averaged as the rows come: the same picture as Qt's whole decoding laid out,
    // half transparent where there is alpha; and a PNG cut short is refused.
    QFETCH(int, format);
    QFETCH(int, position);
    // The top half half transparent, where the format keeps alpha.
    QImage image = imageCellules({900, 700}).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height() / 2; ++y)
        for (int x = 0; x < image.width(); ++x)
            reinterpret_cast<QRgb *>(image.scanLine(y))[x] &= 0x80ffffff;
    const QString chemin = dossierImages() + QStringLiteral("lignes.png");
    QVERIFY(image.convertToFormat(QImage::Format(format)).save(chemin));
    const QSize ecran(320, 240);
    const QImage entiere = QImage(chemin).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const PlanDecodage plan = planDecodage(Disposition(position), entiere.size(), ecran);
    const QImage attendu = composer(reduireSurPlace(entiere, plan), plan, ecran);
    const QImage vu = rendrePourEcran(chemin, Disposition(position), ecran);
    QCOMPARE(vu.size(), ecran);
    for (int y = 30; y < ecran.height(); y += 60)
        for (int x = 20; x < ecran.width(); x += 40)
            QVERIFY2(procheDe(vu.pixelColor(x, y), attendu.pixelColor(x, y), 12),
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    QFile f(chemin);
    QVERIFY(f.resize(f.size() / 2));
    QVERIFY(rendrePourEcran(chemin, Disposition(position), ecran).isNull());
}

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
