#include "bureaux11.h"

#include <QCoreApplication>
#include <QRegion>
#include <QSocketNotifier>
#include <QtEndian>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xinerama.h>

#include <cstdlib>
#include <optional>
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

// Sends the picture into the pixmap at that place, in strips the server takes one request each.
bool televerser(Connexion &x, const Racine &racine, const QImage &image, xcb_pixmap_t pixmap,
                xcb_gcontext_t gc, QPoint origine)
{
    const size_t ligne = size_t(image.width()) * 4;
    const size_t place = size_t(xcb_get_maximum_request_length(x.c)) * 4 - sizeof(xcb_put_image_request_t);
    if (place < ligne) {
        qCWarning(lcBureau) << "one row does not fit in an X request";
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
        xcb_put_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(image.width()), uint16_t(n),
                      int16_t(origine.x()), int16_t(origine.y() + y), 0, racine.profondeur,
                      uint32_t(ligne * size_t(n)), donnees);
    }
    return true;
}

// The root's pixmap: each picture's size sent once, then copied by the server onto the other monitors that
// show it at that size; black where no monitor shows. groupes[i] are the monitors that show rendus[i].
bool dessinerRacine(Connexion &x, const Racine &racine, const QList<QRect> &ecrans,
                    const QList<QList<QRect>> &groupes, const QList<RenduEcrans> &rendus, xcb_pixmap_t pixmap)
{
    xcb_create_pixmap(x.c, racine.profondeur, pixmap, racine.fenetre, uint16_t(racine.taille.width()),
                      uint16_t(racine.taille.height()));
    const xcb_gcontext_t gc = xcb_generate_id(x.c);
    const uint32_t valeurs[] = {0, 0};
    xcb_create_gc(x.c, gc, pixmap, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, valeurs);
    QRegion nu(QRect(QPoint(0, 0), racine.taille));
    for (const QRect &ecran : ecrans)
        nu -= ecran;
    std::vector<xcb_rectangle_t> noirs;
    for (const QRect &r : nu)
        noirs.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
    if (!noirs.empty())
        xcb_poly_fill_rectangle(x.c, pixmap, gc, uint32_t(noirs.size()), noirs.data());
    bool ok = true;
    for (qsizetype i = 0; i < groupes.size(); ++i) {
        for (const auto &[taille, image] : rendus[i].images()) {
            const QRect *premier = nullptr;
            for (const QRect &ecran : groupes[i]) {
                if (ecran.size() != taille)
                    continue;
                if (!premier) {
                    premier = &ecran;
                    ok = ok && televerser(x, racine, image, pixmap, gc, ecran.topLeft());
                } else {
                    xcb_copy_area(x.c, pixmap, pixmap, gc, int16_t(premier->x()), int16_t(premier->y()),
                                  int16_t(ecran.x()), int16_t(ecran.y()), uint16_t(taille.width()),
                                  uint16_t(taille.height()));
                }
            }
        }
    }
    xcb_free_gc(x.c, gc);
    return x.synchroniser("drawing the root pixmap") && ok;
}

bool extensionPresente(xcb_connection_t *c, xcb_extension_t *extension)
{
    const xcb_query_extension_reply_t *donnees = xcb_get_extension_data(c, extension);
    return donnees && donnees->present;
}

// RandR 1.5 knows monitors as the user arranged them; Xinerama only its heads; otherwise the root is one
// screen.
QList<QRect> lireMoniteurs(xcb_connection_t *c, const Racine &racine)
{
    const QRect tout(QPoint(0, 0), racine.taille);
    QList<QRect> ecrans;
    const auto garder = [&](QRect ecran) {
        ecran &= tout;
        if (!ecran.isEmpty() && !ecrans.contains(ecran))
            ecrans.append(ecran);
    };
    if (extensionPresente(c, &xcb_randr_id)) {
        xcb_randr_query_version_reply_t *version
            = xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr);
        const bool moniteurs = version && (version->major_version > 1 || version->minor_version >= 5);
        free(version);
        xcb_randr_get_monitors_reply_t *reponse = moniteurs
            ? xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, racine.fenetre, 1), nullptr)
            : nullptr;
        if (reponse) {
            for (auto m = xcb_randr_get_monitors_monitors_iterator(reponse); m.rem;
                 xcb_randr_monitor_info_next(&m))
                garder(QRect(m.data->x, m.data->y, m.data->width, m.data->height));
            free(reponse);
        }
    }
    if (ecrans.isEmpty() && extensionPresente(c, &xcb_xinerama_id)) {
        xcb_xinerama_is_active_reply_t *actif
            = xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr);
        xcb_xinerama_query_screens_reply_t *tetes = actif && actif->state
            ? xcb_xinerama_query_screens_reply(c, xcb_xinerama_query_screens(c), nullptr)
            : nullptr;
        free(actif);
        if (tetes) {
            for (auto t = xcb_xinerama_query_screens_screen_info_iterator(tetes); t.rem;
                 xcb_xinerama_screen_info_next(&t))
                garder(QRect(t.data->x_org, t.data->y_org, t.data->width, t.data->height));
            free(tetes);
        }
    }
    if (ecrans.isEmpty())
        ecrans.append(tout);
    qCDebug(lcBureau) << "screens on the root:" << ecrans;
    return ecrans;
}

// A connection that gets the events by which monitors change: RandR's, and the root's ConfigureNotify that
// the server sends when a monitor is set or deleted.
xcb_connection_t *ouvrirVeille()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const xcb_window_t racine = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t masque = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, racine, XCB_CW_EVENT_MASK, &masque);
    if (extensionPresente(c, &xcb_randr_id)) {
        free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        xcb_randr_select_input(c, racine,
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE
                                   | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    xcb_flush(c);
    return c;
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

} // namespace

BureauX11::BureauX11()
    : magasin(QStringLiteral("x11"))
    , veille(nullptr, xcb_disconnect)
{
}

BureauX11::~BureauX11() = default;

void BureauX11::montrer(const QString &chemin)
{
    aSignaler = chemin;
    demandee = {{QRect(), chemin}};
    planifier(demandee, magasin.lireOuDefaut());
}

void BureauX11::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    aSignaler = chemins.value(0);
    demandee.clear();
    for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i)
        demandee.append({ecrans[i].geometrie, chemins[i]});
    planifier(demandee, magasin.lireOuDefaut());
}

std::optional<Disposition> BureauX11::lireDisposition()
{
    return magasin.lireOuDefaut();
}

void BureauX11::enregistrerDisposition(Disposition disposition)
{
    magasin.enregistrer(disposition);
    // What was asked last, unless it was not shown.
    const bool aJour
        = !demandee.isEmpty() && (!aSignaler.isEmpty() || demandee.first().second == imageCourante());
    if (!aJour)
        demandee = {{QRect(), imageCourante()}};
    if (!demandee.first().second.isEmpty())
        planifier(demandee, disposition);
}

void BureauX11::planifier(const Affectation &affectation, Disposition disposition)
{
    const QString chemin = affectation.isEmpty() ? QString() : affectation.first().second;
    // A picture still waiting is drawn for the screens as they are by then: a redraw must not replace it.
    ouvrier.lancer(
        [this, affectation, chemin, disposition](const Ouvrier::Poste &poste) {
            const Resultat resultat = afficher(affectation, disposition);
            poste([this, chemin, resultat] {
                if (!chemin.isEmpty() && chemin == aSignaler) {
                    aSignaler.clear();
                    signaler(chemin, resultat);
                }
            });
        },
        !affectation.isEmpty());
}

Bureau::Resultat BureauX11::afficher(const Affectation &affectation, Disposition disposition)
{
    const bool ecransSeulement = affectation.isEmpty();
    Connexion x;
    Racine racine;
    if (x.enErreur() || !decrireRacine(x, &racine)) {
        qCWarning(lcBureau) << "cannot draw on this X display:" << affectation;
        return Resultat::Injoignable;
    }
    // Listening starts before the monitors are read, so that no change is missed between the two.
    if (!veille && QCoreApplication::instance()) {
        veille.reset(ouvrirVeille());
        if (veille)
            QMetaObject::invokeMethod(
                &contexte, [this] { surveillerEcrans(); }, Qt::QueuedConnection);
    }
    const QList<QRect> ecrans = lireMoniteurs(x.c, racine);
    if (ecransSeulement
        && (affichee.isEmpty() || (racine.taille == racineAffichee && ecrans == ecransAffiches)))
        return Resultat::Montree;
    const Affectation &voulue = ecransSeulement ? affichee : affectation;
    const Disposition d = ecransSeulement ? dispositionAffichee : disposition;
    // The monitors grouped by picture, each picture drawn once per size; what was drawn already is kept.
    QStringList chemins;
    QList<QList<QRect>> groupes;
    QList<RenduEcrans> nouveaux;
    for (const QRect &ecran : ecrans) {
        QString chemin = voulue.first().second;
        for (const auto &[place, image] : voulue) {
            if (place == ecran)
                chemin = image;
        }
        if (!chemins.contains(chemin)) {
            chemins << chemin;
            groupes << QList<QRect>();
            nouveaux << RenduEcrans();
            for (const RenduEcrans &ancien : std::as_const(rendus)) {
                if (ancien.chemin() == chemin)
                    nouveaux.last() = ancien;
            }
        }
        groupes[chemins.indexOf(chemin)] << ecran;
    }
    // A picture that cannot be drawn leaves what is shown, and what it was drawn from, as they were.
    for (qsizetype i = 0; i < nouveaux.size(); ++i) {
        if (!nouveaux[i].preparer(chemins[i], d, groupes[i]))
            return Resultat::Refusee;
    }
    const xcb_pixmap_t pixmap = xcb_generate_id(x.c);
    if (!dessinerRacine(x, racine, ecrans, groupes, nouveaux, pixmap)) {
        xcb_free_pixmap(x.c, pixmap);
        xcb_flush(x.c);
        return Resultat::Injoignable;
    }
    if (!publier(x, racine, pixmap))
        return Resultat::Injoignable;
    racineAffichee = racine.taille;
    ecransAffiches = ecrans;
    affichee = voulue;
    dispositionAffichee = d;
    rendus = std::move(nouveaux);
    return Resultat::Montree;
}

void BureauX11::surveillerEcrans()
{
    notificateur
        = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(veille.get()), QSocketNotifier::Read);
    QObject::connect(notificateur.get(), &QSocketNotifier::activated, &contexte,
                     [this] { on_ecransChanges(); });
    // Events read in while the connection was set up would not wake the notifier.
    on_ecransChanges();
}

void BureauX11::on_ecransChanges()
{
    bool change = false;
    while (xcb_generic_event_t *evenement = xcb_poll_for_event(veille.get())) {
        change = true;
        free(evenement);
    }
    if (xcb_connection_has_error(veille.get()))
        notificateur->setEnabled(false);
    else if (change)
        planifier({}, dispositionParDefaut);
}
