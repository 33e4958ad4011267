#include "desktop/disposition.h"
#include "commun.h"
#include "desktop/image/lignesjpeg.h"
#include "desktop/image/rendu.h"

#include <QImageReader>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A JPEG as a camera stores it: the pixels as the sensor saw them, and an Exif orientation tag (1..8).
QByteArray avecOrientation(QByteArray jpeg, quint8 orientation)
{
    // APP1 of 34 bytes: a big-endian TIFF header with one entry, Orientation (0x0112), SHORT, 1 value.
    QByteArray app1("\xff\xe1\0\x22"
                    "Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0",
                    36);
    app1[29] = char(orientation);
    return jpeg.insert(2, app1);
}

QByteArray jpegAvecOrientation(const QImage &stockee, quint8 orientation)
{
    QBuffer tampon;
    tampon.open(QIODevice::WriteOnly);
    stockee.save(&tampon, "JPEG", 95);
    return avecOrientation(tampon.buffer(), orientation);
}

// The JPEGs Qt's writer does not make, written by libjpeg: 1, 3 (YCbCr) or 4 (inverted CMYK) components.
struct FormeJpeg
{
    int composantes;
    bool sousEchantillonne, progressif, arithmetique, apart;
};

QByteArray ecrireJpeg(const QImage &image, const FormeJpeg &forme)
{
    jpeg_compress_struct c;
    jpeg_error_mgr erreurs;
    c.err = jpeg_std_error(&erreurs);
    jpeg_create_compress(&c);
    unsigned char *octets = nullptr;
    unsigned long taille = 0;
    jpeg_mem_dest(&c, &octets, &taille);
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    c.input_components = forme.composantes == 3 ? 4 : forme.composantes;
    c.in_color_space = forme.composantes == 1 ? JCS_GRAYSCALE
        : forme.composantes == 3              ? JCS_EXT_BGRX
                                              : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    for (int i = 0; !forme.sousEchantillonne && i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (forme.progressif)
        jpeg_simple_progression(&c);
    c.arith_code = forme.arithmetique;
    // Sequential, but one scan per component: every coefficient kept until the last scan.
    jpeg_scan_info apart[4];
    for (int i = 0; i < forme.composantes; ++i)
        apart[i] = {1, {i, 0, 0, 0}, 0, 63, 0, 0};
    if (forme.apart) {
        c.scan_info = apart;
        c.num_scans = forme.composantes;
    }
    jpeg_start_compress(&c, TRUE);
    const QImage rangees = forme.composantes == 1 ? image.convertToFormat(QImage::Format_Grayscale8) : image;
    QByteArray cmyk(image.width() * 4, '\0');
    while (c.next_scanline < c.image_height) {
        const uchar *ligne = rangees.constScanLine(int(c.next_scanline));
        for (int x = 0; forme.composantes == 4 && x < image.width(); ++x) {
            const QRgb p = reinterpret_cast<const QRgb *>(ligne)[x];
            const int k = 180 + (x & 63);
            cmyk[x * 4] = char(qRed(p) * 255 / k > 255 ? 255 : qRed(p) * 255 / k);
            cmyk[x * 4 + 1] = char(qGreen(p) * 255 / k > 255 ? 255 : qGreen(p) * 255 / k);
            cmyk[x * 4 + 2] = char(qBlue(p) * 255 / k > 255 ? 255 : qBlue(p) * 255 / k);
            cmyk[x * 4 + 3] = char(k);
        }
        JSAMPROW rangee = const_cast<uchar *>(
            forme.composantes == 4 ? reinterpret_cast<const uchar *>(cmyk.constData()) : ligne);
        jpeg_write_scanlines(&c, &rangee, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    const QByteArray jpeg(reinterpret_cast<const char *>(octets), int(taille));
    free(octets);
    return jpeg;
}

// A file whose reads fail from some point on, as when a drawing is given up.
class FichierAbandonne final : public QFile
{
public:
    using QFile::QFile;
    qint64 limite = 0;

protected:
    qint64 readData(char *donnees, qint64 taille) override
    {
        return pos() >= limite ? -1 : QFile::readData(donnees, qMin(taille, limite - pos()));
    }
};
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
    void jpegParLignes_data();
    void jpegParLignes();
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

void TestDisposition::jpegParLignes_data()
{
    QTest::addColumn<int>("forme");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("ecran");
    const char *noms[] = {"baseline 4:2:0",   "progressive 4:2:0", "progressive 4:4:4",
                          "progressive grey", "progressive CMYK",  "arithmetic progressive 4:4:4",
                          "components apart"};
    for (int forme = 0; forme < 7; ++forme) {
        // Filled, centred and cropped, tiled, scaled to an eighth; turned and cropped, turned and fitted.
        for (const auto &[position, orientation, ecran] :
             {std::tuple(5, 1, QSize(320, 240)), std::tuple(1, 1, QSize(320, 240)),
              std::tuple(2, 1, QSize(320, 240)), std::tuple(5, 1, QSize(90, 60)),
              std::tuple(1, 6, QSize(320, 240)), std::tuple(4, 3, QSize(320, 240)),
              std::tuple(5, 8, QSize(200, 300))})
            QTest::addRow("%s, layout %d, orientation %d, %dx%d", noms[forme], position, orientation,
                          ecran.width(), ecran.height())
                << forme << position << orientation << ecran;
    }
}

void TestDisposition::jpegParLignes()
{
    // Scaled while decoded, then averaged as rows come: Qt's whole decoding laid out, give or take scaling;
    // decoded again band by band (every coefficient outside the band as a bit), the very same pixels; a file
    // cut short gives the same partial picture either way; a device that fails gives nothing.
    QFETCH(int, forme);
    QFETCH(int, position);
    QFETCH(int, orientation);
    QFETCH(QSize, ecran);
    const FormeJpeg formes[]
        = {{3, true, false, false, false}, {3, true, true, false, false},  {3, false, true, false, false},
           {1, false, true, false, false}, {4, false, true, false, false}, {3, false, true, true, false},
           {3, true, false, false, true}};
    // Cells with fine detail, so that refinement scans find coefficients both set and not.
    QImage image = imageCellules({650, 490});
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb &p = reinterpret_cast<QRgb *>(image.scanLine(y))[x];
            const int d = ((x ^ y) & 7) * 5 - 17;
            p = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) - d, 255),
                     qBound(0, qBlue(p) + d, 255));
        }
    const QString chemin = dossierImages() + QStringLiteral("lignes.jpg");
    QFile fichier(chemin);
    QVERIFY(fichier.open(QIODevice::WriteOnly)
            && fichier.write(avecOrientation(ecrireJpeg(image, formes[forme]), quint8(orientation))) > 0);
    fichier.close();

    QImageReader lecteur(chemin);
    lecteur.setAutoTransform(true);
    const QImageIOHandler::Transformations sens = lecteur.transformation();
    const QImage entiere = lecteur.read().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!entiere.isNull());
    const PlanDecodage plan = planDecodage(Disposition(position), entiere.size(), ecran);
    const auto decoder = [&](qint64 octetsMax, qint64 limite = -1) {
        FichierAbandonne f(chemin);
        f.limite = limite < 0 ? f.size() + 1 : limite;
        return f.open(QIODevice::ReadOnly) ? decoderJpegParLignes(&f, plan, octetsMax, sens) : QImage();
    };
    const QImage partie = decoder(qint64(1) << 30);
    const QImage vu = composer(partie, plan, ecran),
                 attendu = composer(reduireSurPlace(entiere, plan), plan, ecran);
    QCOMPARE(vu.size(), ecran);
    // Scaled by other ways, cell edges may move by a pixel: most pixels match closely, none far.
    int loin = 0;
    for (int y = 0; y < ecran.height(); ++y)
        for (int x = 0; x < ecran.width(); ++x)
            loin += !procheDe(vu.pixelColor(x, y), attendu.pixelColor(x, y), 24);
    QVERIFY2(loin * 10 < ecran.width() * ecran.height(), qPrintable(QString::number(loin)));
    QCOMPARE(decoder(0), partie);

    QVERIFY(fichier.resize(fichier.size() * 3 / 5));
    const QImage coupee = decoder(qint64(1) << 30);
    QCOMPARE(coupee.size(), partie.size());
    QCOMPARE(decoder(0), coupee);
    QVERIFY(decoder(qint64(1) << 30, fichier.size() / 2).isNull());
}

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
