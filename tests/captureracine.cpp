#include "commun.h"

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
