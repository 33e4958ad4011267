#include "commun.h"

#include <QPainter>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

QImage captureRacine()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return {};
    }
    xcb_screen_t *ecran = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    QImage resultat(ecran->width_in_pixels, ecran->height_in_pixels, QImage::Format_RGB32);
    // Row strips keep each reply under the server's request size limit.
    const int bande = 64;
    for (int y = 0; y < ecran->height_in_pixels; y += bande) {
        const int h = qMin(bande, ecran->height_in_pixels - y);
        xcb_get_image_reply_t *r = xcb_get_image_reply(
            c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, ecran->root, 0, y, ecran->width_in_pixels, h, ~0u),
            nullptr);
        if (!r) {
            xcb_disconnect(c);
            return {};
        }
        const uint8_t *donnees = xcb_get_image_data(r);
        const int ligne = xcb_get_image_data_length(r) / h;
        for (int i = 0; i < h; ++i)
            memcpy(resultat.scanLine(y + i), donnees + i * ligne, size_t(ecran->width_in_pixels) * 4);
        free(r);
    }
    xcb_disconnect(c);
    return resultat;
}

QImage captureWayland()
{
    QProcess grim;
    grim.start(QStringLiteral("grim"), {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-")});
    grim.waitForFinished(30000);
    return QImage::fromData(grim.readAllStandardOutput(), "PNG");
}

QColor ecranNu(0x20, 0x30, 0x40);
const QByteArray magentaEtire = "m10,10 m630,470 m320,240";
const QByteArray quadrantsEtires = "w30,20 r200,20 g330,20 b200,460 y600,460";

bool montre(const QImage &ecran, const QByteArray &attendu, QString *ecart)
{
    static const QHash<char, QColor> couleurs {{'r', Qt::red},    {'g', Qt::green}, {'b', Qt::blue},
                                               {'y', Qt::yellow}, {'w', Qt::white}, {'m', Qt::magenta},
                                               {'v', Qt::green}};
    if (ecran.size() != QSize(640, 480)) {
        *ecart = QStringLiteral("no 640x480 capture from grim");
        return false;
    }
    for (const QByteArray &point : attendu.split(' ')) {
        const QList<QByteArray> xy = point.mid(1).split(',');
        const QColor vu = ecran.pixelColor(xy.at(0).toInt(), xy.at(1).toInt());
        if (!procheDe(vu, point.at(0) == '.' ? ecranNu : couleurs.value(point.at(0)))) {
            *ecart = vu.name() + QStringLiteral(" instead of ") + QString::fromLatin1(point);
            return false;
        }
    }
    return true;
}

bool montre(const QByteArray &attendu, QString *ecart)
{
    return montre(captureWayland(), attendu, ecart);
}

QImage imageBandeBlanche()
{
    QImage image = imageQuadrants(200, 100);
    QPainter(&image).fillRect(0, 0, 20, 100, Qt::white);
    return image;
}

void lignesDePosition()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("centrée") << 1
                             << QByteArray(".10,10 .630,470 r250,200 g400,200 b250,280 y400,280 w225,240");
    QTest::newRow("mosaïque") << 2 << QByteArray("w10,20 r30,20 g150,20 r230,20 r30,120 b30,170 b630,470");
    QTest::newRow("étirée") << 3 << quadrantsEtires;
    QTest::newRow("ajustée") << 4
                             << QByteArray(".320,20 .320,460 r200,100 g600,100 b200,380 y600,380 w30,240");
    QTest::newRow("remplie") << 5 << QByteArray("r30,20 g630,20 b30,460 y630,460");
}
