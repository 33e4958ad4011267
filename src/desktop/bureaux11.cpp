#include "bureaux11.h"
#include "rendu.h"

#include <QtEndian>

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr size_t octetsParBande = size_t(1) << 20;

struct Racine
{
    xcb_window_t fenetre = 0;
    QSize taille;
    uint8_t profondeur = 0;
    bool inverserOctets = false;
};

class Connexion final
{
public:
    Connexion()
        : c(xcb_connect(nullptr, &numeroEcran))
    {
    }
    ~Connexion() { xcb_disconnect(c); }
    Connexion(const Connexion &) = delete;
    Connexion &operator=(const Connexion &) = delete;

    int numeroEcran = 0;
    xcb_connection_t *const c;

    bool enErreur() const { return xcb_connection_has_error(c) != 0; }

    /** Waits until the server has handled every request sent; false if any of them failed. */
    bool synchroniser(const char *etape)
    {
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        bool ok = !enErreur();
        while (xcb_generic_event_t *evenement = xcb_poll_for_event(c)) {
            if (evenement->response_type == 0) {
                const auto *erreur = reinterpret_cast<xcb_generic_error_t *>(evenement);
                qCWarning(lcBureau) << "X error" << erreur->error_code << "from request" << erreur->major_code
                                    << "while" << etape;
                ok = false;
            }
            free(evenement);
        }
        return ok;
    }
};

bool decrireRacine(Connexion &x, Racine *racine)
{
    const xcb_setup_t *setup = xcb_get_setup(x.c);
    xcb_screen_iterator_t ecrans = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < x.numeroEcran && ecrans.rem; ++i)
        xcb_screen_next(&ecrans);
    if (!ecrans.rem)
        return false;
    const xcb_screen_t *ecran = ecrans.data;

    xcb_get_geometry_reply_t *geometrie
        = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, ecran->root), nullptr);
    if (!geometrie)
        return false;
    racine->fenetre = ecran->root;
    racine->taille = QSize(geometrie->width, geometrie->height);
    racine->profondeur = geometrie->depth;
    free(geometrie);

    int bitsParPixel = 0, alignement = 0;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == racine->profondeur) {
            bitsParPixel = f.data->bits_per_pixel;
            alignement = f.data->scanline_pad;
        }
    }
    const xcb_visualtype_t *visuel = nullptr;
    for (auto p = xcb_screen_allowed_depths_iterator(ecran); p.rem && !visuel; xcb_depth_next(&p)) {
        for (auto v = xcb_depth_visuals_iterator(p.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == ecran->root_visual) {
                visuel = v.data;
                break;
            }
        }
    }
    const bool rvb
        = visuel && visuel->red_mask == 0xff0000 && visuel->green_mask == 0xff00 && visuel->blue_mask == 0xff;
    // RGB32 rows can go out as they are only with 32-bit pixels in 8-bit channels.
    if ((racine->profondeur != 24 && racine->profondeur != 32) || bitsParPixel != 32 || alignement > 32
        || !rvb) {
        qCWarning(lcBureau) << "unsupported root format: depth" << racine->profondeur << "bpp" << bitsParPixel
                            << "pad" << alignement << "rgb masks" << rvb;
        return false;
    }
    const bool serveurLsb = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    racine->inverserOctets = serveurLsb != (Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    return true;
}

bool televerser(Connexion &x, const Racine &racine, const QImage &image, xcb_pixmap_t pixmap)
{
    xcb_create_pixmap(x.c, racine.profondeur, pixmap, racine.fenetre, uint16_t(image.width()),
                      uint16_t(image.height()));
    const xcb_gcontext_t gc = xcb_generate_id(x.c);
    xcb_create_gc(x.c, gc, pixmap, 0, nullptr);

    const size_t ligne = size_t(image.width()) * 4;
    const size_t place = size_t(xcb_get_maximum_request_length(x.c)) * 4 - sizeof(xcb_put_image_request_t);
    if (place < ligne) {
        qCWarning(lcBureau) << "one row does not fit in an X request";
        xcb_free_gc(x.c, gc);
        return false;
    }
    // About a megabyte a strip: the server copies one while the next is on its way.
    const size_t bande = std::max(ligne, std::min(place, octetsParBande));
    const int lignesParBande = int(std::min<size_t>(bande / ligne, size_t(image.height())));
    std::vector<quint32> tampon;
    for (int y = 0; y < image.height(); y += lignesParBande) {
        const int n = std::min(lignesParBande, image.height() - y);
        const auto *donnees = image.constScanLine(y);
        if (racine.inverserOctets) {
            tampon.resize(size_t(n) * size_t(image.width()));
            for (int i = 0; i < n; ++i) {
                const auto *source = reinterpret_cast<const quint32 *>(image.constScanLine(y + i));
                for (int j = 0; j < image.width(); ++j)
                    tampon[size_t(i) * size_t(image.width()) + size_t(j)] = qbswap(source[j]);
            }
            donnees = reinterpret_cast<const uchar *>(tampon.data());
        }
        xcb_put_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(image.width()), uint16_t(n), 0,
                      int16_t(y), 0, racine.profondeur, uint32_t(ligne * size_t(n)), donnees);
    }
    xcb_free_gc(x.c, gc);
    return x.synchroniser("uploading the picture");
}

xcb_atom_t atome(xcb_connection_t *c, xcb_intern_atom_cookie_t cookie)
{
    xcb_intern_atom_reply_t *reponse = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reponse ? reponse->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reponse);
    return a;
}

xcb_pixmap_t lirePixmap(xcb_connection_t *c, xcb_window_t racine, xcb_atom_t propriete)
{
    xcb_get_property_reply_t *reponse = xcb_get_property_reply(
        c, xcb_get_property(c, 0, racine, propriete, XCB_ATOM_PIXMAP, 0, 1), nullptr);
    xcb_pixmap_t valeur = XCB_NONE;
    if (reponse && reponse->type == XCB_ATOM_PIXMAP && reponse->format == 32
        && xcb_get_property_value_length(reponse) >= 4)
        valeur = *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(reponse));
    free(reponse);
    return valeur;
}

bool publier(Connexion &x, const Racine &racine, xcb_pixmap_t pixmap)
{
    const auto cXroot = xcb_intern_atom(x.c, 0, 13, "_XROOTPMAP_ID");
    const auto cEsetroot = xcb_intern_atom(x.c, 0, 16, "ESETROOT_PMAP_ID");
    const xcb_atom_t xroot = atome(x.c, cXroot);
    const xcb_atom_t esetroot = atome(x.c, cEsetroot);
    if (xroot == XCB_ATOM_NONE || esetroot == XCB_ATOM_NONE)
        return false;
    const xcb_pixmap_t ancienXroot = lirePixmap(x.c, racine.fenetre, xroot);
    const xcb_pixmap_t ancienEsetroot = lirePixmap(x.c, racine.fenetre, esetroot);

    xcb_change_property(x.c, XCB_PROP_MODE_REPLACE, racine.fenetre, xroot, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_change_property(x.c, XCB_PROP_MODE_REPLACE, racine.fenetre, esetroot, XCB_ATOM_PIXMAP, 32, 1,
                        &pixmap);
    xcb_change_window_attributes(x.c, racine.fenetre, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(x.c, 0, racine.fenetre, 0, 0, 0, 0);
    // Both ids equal means an earlier setter kept its connection alive just to own that pixmap.
    if (ancienXroot != XCB_NONE && ancienXroot == ancienEsetroot && ancienXroot != pixmap)
        xcb_kill_client(x.c, ancienXroot);
    xcb_set_close_down_mode(x.c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    // Errors here (an old pixmap already gone) leave the new background in place.
    x.synchroniser("publishing the root pixmap");
    return !x.enErreur();
}

bool afficher(const QString &chemin, int position)
{
    Connexion x;
    Racine racine;
    if (x.enErreur() || !decrireRacine(x, &racine)) {
        qCWarning(lcBureau) << "cannot draw on this X display:" << chemin;
        return false;
    }
    const QImage image = rendrePourEcran(chemin, position, racine.taille);
    if (image.isNull())
        return false;
    const xcb_pixmap_t pixmap = xcb_generate_id(x.c);
    if (!televerser(x, racine, image, pixmap)) {
        xcb_free_pixmap(x.c, pixmap);
        xcb_flush(x.c);
        return false;
    }
    return publier(x, racine, pixmap);
}
} // namespace

BureauX11::BureauX11()
    : magasin(QStringLiteral("x11"))
{
    courant = magasin.lireImage();
}

QString BureauX11::nom() const
{
    return QStringLiteral("x11");
}

QString BureauX11::cheminMagasin()
{
    return Magasin(QStringLiteral("x11")).chemin();
}

void BureauX11::appliquerFondEcran(const QString &chemin)
{
    appliquerFondEcran(chemin, lirePosition());
}

void BureauX11::appliquerFondEcran(const QString &chemin, int position)
{
    if (chemin.isEmpty()) {
        qCWarning(lcBureau) << "no picture to show";
        return;
    }
    courant = chemin;
    planifier(chemin, position);
}

int BureauX11::lirePosition()
{
    return magasin.lirePosition();
}

void BureauX11::enregistrerPosition(int position)
{
    if (!magasin.enregistrerPosition(position))
        return;
    if (!courant.isEmpty())
        planifier(courant, position);
}

bool BureauX11::attendre(int msecs)
{
    return ouvrier.attendre(msecs);
}

void BureauX11::planifier(const QString &chemin, int position)
{
    ouvrier.planifier([this, chemin, position] {
        if (afficher(chemin, position))
            magasin.enregistrerImage(chemin);
    });
}
