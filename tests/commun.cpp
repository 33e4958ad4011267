#include "commun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

DossierDeTravail::DossierDeTravail()
    : precedent(QDir::currentPath())
{
    QDir::setCurrent(dossier.path());
}

DossierDeTravail::~DossierDeTravail()
{
    QDir::setCurrent(precedent);
}

QString DossierDeTravail::chemin(const QString &nom) const
{
    return nom.isEmpty() ? dossier.path() : dossier.filePath(nom);
}

QImage imageQuadrants(int largeur, int hauteur)
{
    QImage image(largeur, hauteur, QImage::Format_RGB32);
    QPainter p(&image);
    const int mx = largeur / 2, my = hauteur / 2;
    p.fillRect(0, 0, mx, my, Qt::red);
    p.fillRect(mx, 0, largeur - mx, my, Qt::green);
    p.fillRect(0, my, mx, hauteur - my, Qt::blue);
    p.fillRect(mx, my, largeur - mx, hauteur - my, Qt::yellow);
    return image;
}

bool ecrireImage(const QString &chemin, const QImage &image, const char *format)
{
    return image.save(chemin, format, 95);
}

bool creerImage(const QString &chemin)
{
    QDir().mkpath(QFileInfo(chemin).path());
    return imageQuadrants(4, 4).save(chemin, "PNG");
}

QString dossierImages()
{
    static QTemporaryDir dossier;
    return dossier.path() + QLatin1Char('/');
}

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

bool procheDe(QColor a, QColor b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

BureauEnregistreur *installerEnregistreur()
{
    auto bureau = std::make_unique<BureauEnregistreur>();
    BureauEnregistreur *enregistreur = bureau.get();
    installerBureau(std::move(bureau));
    return enregistreur;
}

bool xrandr(const QStringList &arguments)
{
    QProcess commande;
    commande.start(QStringLiteral("xrandr"), arguments);
    return commande.waitForFinished() && commande.exitStatus() == QProcess::NormalExit
        && commande.exitCode() == 0;
}

QStringList moniteur(int rang, QRect r)
{
    return {QStringLiteral("--setmonitor"), QStringLiteral("m%1").arg(rang),
            QStringLiteral("%1/%2x%3/%4+%5+%6")
                .arg(r.width())
                .arg(r.width() / 4)
                .arg(r.height())
                .arg(r.height() / 4)
                .arg(r.x())
                .arg(r.y()),
            rang == 0 ? QStringLiteral("screen") : QStringLiteral("none")};
}

bool reglerEcrans(const QList<QRect> &ecrans)
{
    for (int i = 3; i >= 0; --i)
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("m%1").arg(i)});
    for (int i = 0; i < ecrans.size(); ++i)
        if (!xrandr(moniteur(i, ecrans.at(i))))
            return false;
    return true;
}

PartageLent::PartageLent()
{
    QDir().mkpath(source());
    QDir().mkpath(montage());
    changerDelai(0);
}

PartageLent::~PartageLent()
{
    if (fuse.state() == QProcess::NotRunning)
        return;
    fuse.terminate();
    if (!fuse.waitForFinished(5000))
        couper();
}

void PartageLent::couper()
{
    fuse.kill();
    fuse.waitForFinished(5000);
    QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-uz"), montage()});
}

bool PartageLent::monter(QString *raison)
{
    if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
        *raison = QStringLiteral("no /dev/fuse");
        return false;
    }
    fuse.setProcessChannelMode(QProcess::MergedChannels);
    fuse.start(QDir::cleanPath(QStringLiteral(PAPIROL2_DONNEES "/../partagelent.py")),
               {source(), montage(), dossier.filePath(QStringLiteral("delai"))});
    const auto monte = [this] {
        QFile table(QStringLiteral("/proc/self/mounts"));
        return table.open(QIODevice::ReadOnly)
            && table.readAll().contains(' ' + QFile::encodeName(montage()) + ' ');
    };
    if (QTest::qWaitFor([&] { return monte() || fuse.state() == QProcess::NotRunning; }, 15000) && monte())
        return true;
    fuse.kill();
    fuse.waitForFinished(5000);
    *raison
        = QStringLiteral("the FUSE mirror did not mount (needs python3-fusepy, libfuse2, fuse and root): ")
        + QString::fromUtf8(fuse.readAll()).trimmed();
    return false;
}

void PartageLent::changerDelai(double secondes)
{
    QFile f(dossier.filePath(QStringLiteral("delai")));
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray::number(secondes));
}
