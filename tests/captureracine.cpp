#include "commun.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

QImage captureRacine()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t *ecran
        = xcb_connection_has_error(c) ? nullptr : xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    QImage resultat
        = ecran ? QImage(ecran->width_in_pixels, ecran->height_in_pixels, QImage::Format_RGB32) : QImage();
    // Row strips keep each reply under the server's request size limit.
    for (int y = 0; !resultat.isNull() && y < resultat.height(); y += 64) {
        const int h = qMin(64, resultat.height() - y);
        xcb_get_image_reply_t *r = xcb_get_image_reply(
            c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, ecran->root, 0, y, resultat.width(), h, ~0u),
            nullptr);
        if (!r)
            resultat = QImage();
        for (int i = 0; r && i < h; ++i)
            memcpy(resultat.scanLine(y + i), xcb_get_image_data(r) + i * (xcb_get_image_data_length(r) / h),
                   size_t(resultat.width()) * 4);
        free(r);
    }
    xcb_disconnect(c);
    return resultat;
}

QImage captureWayland(const QString &sortie)
{
    QProcess grim;
    QStringList arguments {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-")};
    if (!sortie.isEmpty())
        arguments = QStringList {QStringLiteral("-o"), sortie} + arguments;
    grim.start(QStringLiteral("grim"), arguments);
    grim.waitForFinished(5000);
    return QImage::fromData(grim.readAllStandardOutput(), "PNG");
}
