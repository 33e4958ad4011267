// Tells in which of the five layouts a screen capture shows a picture, judging only by pixels.
// The pictures are a few flat colours; samples too close to an edge of a colour are skipped,
// since each desktop scales and rounds in its own way there.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QSet>
#include <QTextStream>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <optional>

namespace {

const int pas = 4; // sampling grid, in screen pixels
const int marge = 3; // how far a sample must be from any colour edge
const int tolerance = 48;
const int minimumEchantillons = 50;

bool proche(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db <= tolerance * tolerance;
}

bool dansUneZone(const QList<QRect> &zones, int x, int y)
{
    return std::any_of(zones.cbegin(), zones.cend(), [&](const QRect &r) { return r.contains(x, y); });
}

struct Placement
{
    double echelleX = 1, echelleY = 1, origineX = 0, origineY = 0;
    bool tuile = false;
};

struct Resultat
{
    int echantillons = 0;
    int ecarts = 0;
    bool reconnu() const { return ecarts == 0 && echantillons >= minimumEchantillons; }
};

class Juge
{
public:
    Juge(const QImage &image, const QList<QRect> &ignores)
        : image(image)
        , ignores(ignores)
    {
        for (int y = 0; y < image.height() && palette.size() <= 16; ++y)
            for (int x = 0; x < image.width(); ++x)
                palette.insert(image.pixel(x, y) & 0xffffff);
        // With many colours, "none of the picture's colours" says nothing about the background.
        if (palette.size() > 16)
            palette.clear();
    }

    Placement placement(int disposition) const
    {
        const double W = capture.width(), H = capture.height(), w = image.width(), h = image.height();
        Placement p;
        switch (disposition) {
        case 3:
            p.echelleX = W / w;
            p.echelleY = H / h;
            break;
        case 4:
        case 5:
            p.echelleX = p.echelleY = disposition == 4 ? std::min(W / w, H / h) : std::max(W / w, H / h);
            break;
        default:
            break;
        }
        p.origineX = (W - w * p.echelleX) / 2;
        p.origineY = (H - h * p.echelleY) / 2;
        return p;
    }

    Resultat juger(const Placement &p, int plafond = INT_MAX) const
    {
        Resultat r;
        for (int y = pas / 2; y < capture.height(); y += pas) {
            for (int x = pas / 2; x < capture.width(); x += pas) {
                if (ignore(x, y))
                    continue;
                const std::optional<QRgb> attendu = source(p, x + 0.5, y + 0.5);
                if (!uniforme(p, x + 0.5, y + 0.5, attendu))
                    continue;
                const QRgb vu = capture.pixel(x, y) & 0xffffff;
                bool bon;
                if (attendu)
                    bon = proche(vu, *attendu);
                else if (!palette.isEmpty())
                    bon = std::none_of(palette.cbegin(), palette.cend(),
                                       [&](QRgb c) { return proche(vu, c); });
                else
                    continue;
                ++r.echantillons;
                if (!bon && ++r.ecarts > plafond)
                    return r;
            }
        }
        return r;
    }

    // The screen does not say where tiling starts: desktops anchor it at a corner or at the centre.
    Resultat jugerTuiles() const
    {
        Placement p;
        p.tuile = true;
        for (int oy = 0; oy < image.height(); ++oy) {
            for (int ox = 0; ox < image.width(); ++ox) {
                p.origineX = ox;
                p.origineY = oy;
                const Resultat r = juger(p, 0);
                if (r.reconnu())
                    return r;
            }
        }
        p.origineX = p.origineY = 0;
        return juger(p);
    }

private:
    std::optional<QRgb> source(const Placement &p, double x, double y) const
    {
        double u = (x - p.origineX) / p.echelleX, v = (y - p.origineY) / p.echelleY;
        if (p.tuile) {
            u -= std::floor(u / image.width()) * image.width();
            v -= std::floor(v / image.height()) * image.height();
        }
        if (u < 0 || v < 0 || u >= image.width() || v >= image.height())
            return std::nullopt;
        return image.pixel(int(u), int(v)) & 0xffffff;
    }

    bool uniforme(const Placement &p, double x, double y, const std::optional<QRgb> &centre) const
    {
        for (int dy = -marge; dy <= marge; dy += marge)
            for (int dx = -marge; dx <= marge; dx += marge)
                if (source(p, x + dx, y + dy) != centre)
                    return false;
        return true;
    }

    bool ignore(int x, int y) const { return dansUneZone(ignores, x, y); }

    QImage image;
    QList<QRect> ignores;
    QSet<QRgb> palette;

public:
    QImage capture;
};

bool lireRectangle(const QString &texte, QRect *rectangle)
{
    const QStringList parties = texte.split(QLatin1Char(','));
    if (parties.size() != 4)
        return false;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok;
        v[i] = parties.at(i).toInt(&ok);
        if (!ok)
            return false;
    }
    *rectangle = QRect(v[0], v[1], v[2], v[3]);
    return true;
}

// Layouts (0: any) the capture shows the picture in; with `details`, how far each one was.
bool montre(Juge &juge, const QImage &capture, int attendue, QString *details)
{
    juge.capture = capture;
    bool vu = false;
    QStringList reconnues;
    for (int disposition = 1; disposition <= 5; ++disposition) {
        if (!details && attendue != 0 && disposition != attendue)
            continue;
        const Resultat r = disposition == 2 ? juge.jugerTuiles() : juge.juger(juge.placement(disposition));
        if (r.reconnu()) {
            reconnues.append(QString::number(disposition));
            vu = vu || attendue == 0 || attendue == disposition;
            if (!details)
                return true;
        }
        if (details)
            *details += QStringLiteral(" %1:%2/%3").arg(disposition).arg(r.ecarts).arg(r.echantillons);
    }
    if (details)
        *details = QStringLiteral("shown in: %1 (mismatches/samples%2)")
                       .arg(reconnues.isEmpty() ? QStringLiteral("none") : reconnues.join(QLatin1Char(' ')),
                            *details);
    return vu;
}

int differences(const QImage &reference, const QImage &capture, const QList<QRect> &ignores)
{
    int n = 0;
    for (int y = 0; y < capture.height(); ++y)
        for (int x = 0; x < capture.width(); ++x)
            if (!dansUneZone(ignores, x, y) && !proche(reference.pixel(x, y), capture.pixel(x, y)))
                ++n;
    return n;
}

/** The root window of $DISPLAY, read straight from the X server. */
class Ecran
{
public:
    Ecran()
    {
        connexion = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connexion))
            return;
        const xcb_setup_t *reglages = xcb_get_setup(connexion);
        racine = xcb_setup_roots_iterator(reglages).data;
        for (auto it = xcb_setup_pixmap_formats_iterator(reglages); it.rem; xcb_format_next(&it))
            if (it.data->depth == 24 && it.data->bits_per_pixel == 32)
                format32 = reglages->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    }
    ~Ecran() { xcb_disconnect(connexion); }
    bool valide() const { return racine && racine->root_depth == 24 && format32; }

    QImage capturer() const
    {
        xcb_get_image_cookie_t demande
            = xcb_get_image(connexion, XCB_IMAGE_FORMAT_Z_PIXMAP, racine->root, 0, 0, racine->width_in_pixels,
                            racine->height_in_pixels, ~0u);
        xcb_get_image_reply_t *reponse = xcb_get_image_reply(connexion, demande, nullptr);
        if (!reponse)
            return {};
        const QImage image(xcb_get_image_data(reponse), racine->width_in_pixels, racine->height_in_pixels,
                           QImage::Format_RGB32);
        QImage copie = image.copy();
        free(reponse);
        return copie;
    }

private:
    xcb_connection_t *connexion = nullptr;
    xcb_screen_t *racine = nullptr;
    bool format32 = false;
};

// The clock bash's EPOCHREALTIME reads.
qint64 maintenantUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    QTextStream sortie(stdout), erreurs(stderr);
    QList<QRect> ignores;
    while (arguments.size() >= 2 && arguments.first() == QLatin1String("--ignorer")) {
        arguments.removeFirst();
        QRect r;
        if (!lireRectangle(arguments.takeFirst(), &r)) {
            erreurs << "reconnaitre: --ignorer wants x,y,width,height\n";
            return 2;
        }
        ignores.append(r);
    }
    int guet = -1;
    QString signal;
    if (arguments.size() >= 3 && arguments.first() == QLatin1String("--guetter")) {
        arguments.removeFirst();
        bool ok;
        guet = arguments.takeFirst().toInt(&ok);
        signal = arguments.takeFirst();
        if (!ok || guet < 0)
            guet = -2;
    }
    bool nombre = true;
    const int premiers = guet >= 0 ? 1 : 2;
    const int attendue = arguments.size() == premiers + 1 ? arguments.at(premiers).toInt(&nombre) : 0;
    const bool comme = guet < 0 && arguments.size() == 3 && arguments.first() == QLatin1String("--comme");
    if (!comme
        && (guet == -2 || arguments.size() < premiers || arguments.size() > premiers + 1 || !nombre
            || attendue < 0 || attendue > 5)) {
        erreurs
            << "usage: reconnaitre [--ignorer x,y,w,h]... <capture> <picture> [layout 1..5]\n"
               "       reconnaitre [--ignorer x,y,w,h]... --comme <reference capture> <capture>\n"
               "       reconnaitre [--ignorer x,y,w,h]... --guetter <seconds> <ready file> <picture> "
               "[layout]\n"
               "Prints the layouts 1 centred, 2 tiled, 3 stretched, 4 fitted, 5 filled the capture shows\n"
               "the picture in; exits 0 when it shows it (in the given layout, if any).\n"
               "With --comme, exits 0 when the two captures agree outside the ignored areas.\n"
               "With --guetter, watches the screen instead, creates the ready file once it does, and prints\n"
               "the time (microseconds since 1970) of the first capture that shows the picture.\n";
        return 2;
    }

    if (comme) {
        const QImage reference = QImage(arguments.at(1)).convertToFormat(QImage::Format_RGB32);
        const QImage capture = QImage(arguments.at(2)).convertToFormat(QImage::Format_RGB32);
        if (reference.isNull() || capture.isNull() || reference.size() != capture.size()) {
            erreurs << "reconnaitre: cannot compare " << arguments.at(1) << " with " << arguments.at(2)
                    << '\n';
            return 2;
        }
        const int n = differences(reference, capture, ignores);
        sortie << "pixels unlike the reference: " << n << '\n';
        return n == 0 ? 0 : 1;
    }

    const QString cheminImage = arguments.at(premiers - 1);
    const QImage image = QImage(cheminImage).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        erreurs << "reconnaitre: cannot read " << cheminImage << '\n';
        return 2;
    }
    Juge juge(image, ignores);

    if (guet >= 0) {
        // In-process grabs: a new process and a PNG per look would blur the timings by a tenth of a second.
        const Ecran ecran;
        if (!ecran.valide()) {
            erreurs << "reconnaitre: cannot read the root window of a 24-bit X screen\n";
            return 2;
        }
        const qint64 fin = maintenantUs() + qint64(guet) * 1000000;
        bool pret = false;
        for (;;) {
            const qint64 prise = maintenantUs();
            const QImage capture = ecran.capturer();
            if (capture.isNull()) {
                erreurs << "reconnaitre: the X server refused a capture\n";
                return 2;
            }
            if (!pret) {
                QFile(signal).open(QIODevice::WriteOnly);
                pret = true;
            }
            if (montre(juge, capture, attendue, nullptr)) {
                sortie << "seen: " << prise << '\n';
                return 0;
            }
            if (prise > fin) {
                QString details;
                montre(juge, capture, attendue, &details);
                sortie << "not seen; last look: " << details << '\n';
                return 1;
            }
            QThread::msleep(10);
        }
    }

    const QImage capture = QImage(arguments.at(0)).convertToFormat(QImage::Format_RGB32);
    if (capture.isNull()) {
        erreurs << "reconnaitre: cannot read " << arguments.at(0) << '\n';
        return 2;
    }
    QString details;
    const bool vu = montre(juge, capture, attendue, &details);
    sortie << details << '\n';
    return vu ? 0 : 1;
}
