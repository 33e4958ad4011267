#include "rendu.h"
#include "entetejpeg.h"
#include "lignesjpeg.h"
#include "lignespng.h"

#include "commun/nomsfichiers.h"
#include "commun/ouvrier.h"
#include "desktop/bureau.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {
// The largest photographs cameras take (100 binary megapixels covers the 101-102 Mpx ones); a picture
// claiming more is refused from its header.
constexpr qint64 pixelsMax = qint64(100) << 20;
// The most a decoding may cost: the largest picture at 8 bytes a pixel (16-bit channels), and what is
// decoded for the screen beside it.
constexpr qint64 octetsMax = pixelsMax * 8 + (qint64(256) << 20);

// What decoding a picture of that size may hold: a quarter more than the whole picture at 4 bytes a pixel,
// so that no picture costs much more than showing it whole would. Below the floor, the process's own memory
// outweighs the picture's.
qint64 budget(QSize taille)
{
    constexpr qint64 plancher = qint64(128) << 20;
    return std::min(octetsMax, std::max(plancher, qint64(taille.width()) * taille.height() * 5));
}

// Repeats the tile already drawn at the top-left corner over the whole picture.
void repeter(QImage *ecran, QSize tuile)
{
    const int largeur = ecran->width();
    const int hauteur = ecran->height();
    const int hauteurTuile = std::min(tuile.height(), hauteur);
    for (int y = 0; y < hauteurTuile; ++y) {
        auto *ligne = reinterpret_cast<quint32 *>(ecran->scanLine(y));
        for (int rempli = tuile.width(); rempli < largeur; rempli *= 2)
            std::memcpy(ligne + rempli, ligne, size_t(std::min(rempli, largeur - rempli)) * 4);
    }
    const size_t octets = size_t(largeur) * 4;
    for (int y = hauteurTuile; y < hauteur; ++y)
        std::memcpy(ecran->scanLine(y), ecran->constScanLine(y - hauteurTuile), octets);
}

// Feeds the decoder from a descriptor opened without blocking, and starves it once the drawing is given up.
class FichierImage final : public QFile
{
protected:
    qint64 readData(char *donnees, qint64 taille) override
    {
        if (Ouvrier::arretDemande()) {
            setErrorString(QStringLiteral("drawing given up"));
            return -1;
        }
        return QFile::readData(donnees, taille);
    }
};

// A pipe or a device put in a picture's place would block open() or read() forever: only regular files pass,
// checked on the descriptor itself so that the file cannot be swapped in between.
bool ouvrir(const QString &chemin, QFile *fichier)
{
    const int fd = ::open(octetsDuNom(chemin).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcBureau) << "cannot open" << chemin << std::strerror(errno);
        return false;
    }
    struct stat etat = {};
    if (fstat(fd, &etat) != 0 || !S_ISREG(etat.st_mode)) {
        qCWarning(lcBureau) << "not a regular file:" << chemin;
        ::close(fd);
        return false;
    }
    if (!fichier->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        qCWarning(lcBureau) << "cannot read" << chemin << fichier->errorString();
        ::close(fd);
        return false;
    }
    return true;
}

// What the decoder allocates for that many pixels in its own format, plus the 32-bit copy that scaling a
// narrower format makes.
qint64 octetsPixels(qint64 pixels, QImage::Format format)
{
    const int bits = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return pixels * (bits + (bits < 32 ? 32 : 0)) / 8;
}

qint64 aire(QSize taille)
{
    return qint64(taille.width()) * taille.height();
}

// Clip rectangles would be in the stored, unturned frame: decode it all and lay out the picture once turned.
QImage rendreTourne(QImageReader &lecteur, const PlanDecodage &plan, QSize ecran)
{
    const QImage entiere = lecteur.read();
    return entiere.isNull() ? QImage() : composer(reduireSurPlace(entiere, plan), plan, ecran);
}

QImage rendreDroit(QImageReader &lecteur, const PlanDecodage &plan, QSize taille, QSize ecran)
{
    if (lecteur.supportsOption(QImageIOHandler::ClipRect)) {
        if (plan.source != QRect(QPoint(0, 0), taille))
            lecteur.setClipRect(plan.source);
        if (plan.source.size() != plan.sortie)
            lecteur.setScaledSize(plan.sortie);
    } else {
        // The reader would copy the part that shows before scaling it.
        const QImage entiere = lecteur.read();
        return entiere.isNull() ? QImage() : composer(reduireSurPlace(entiere, plan), plan, ecran);
    }
    // Decoders that fill a picture of the right size and format in place take this one.
    QImage partie = nouvelleImage(plan.sortie, QImage::Format_RGB32);
    return lecteur.read(&partie) ? composer(partie, plan, ecran) : QImage();
}

// What decoding will hold, from the header alone: the pixels the decoder hands back, and a second copy to
// turn a picture stored sideways.
qint64 coutDecodage(QImageReader &lecteur, const PlanDecodage &plan, QSize taille)
{
    const bool droit = lecteur.transformation() == QImageIOHandler::TransformationNone;
    qint64 pixels = aire(taille);
    if (droit && lecteur.supportsOption(QImageIOHandler::ClipRect))
        pixels = aire(plan.source.size());
    return octetsPixels(pixels, lecteur.imageFormat()) * (droit ? 1 : 2);
}

QImage rendre(const QString &chemin, Disposition disposition, QSize ecran)
{
    FichierImage fichier;
    if (!ouvrir(chemin, &fichier))
        return {};
    const EnteteJpeg jpeg = lireEnteteJpeg(&fichier);
    if (!fichier.seek(0))
        return {};
    QImageReader lecteur(&fichier);
    lecteur.setAllocationLimit(int(octetsMax >> 20));
    // A phone photograph taken upright is stored sideways, with its orientation beside it.
    lecteur.setAutoTransform(true);
    const QSize taille = lecteur.size();
    if (!taille.isValid()) {
        // Some decoders only know the size once they have decoded everything: the allocation limit bounds it.
        const QImage entiere = lecteur.read();
        if (entiere.isNull()) {
            qCWarning(lcBureau) << "cannot decode" << chemin << lecteur.errorString();
            return {};
        }
        const PlanDecodage plan = planDecodage(disposition, entiere.size(), ecran);
        return composer(reduireSurPlace(entiere, plan), plan, ecran);
    }
    if (aire(taille) > pixelsMax) {
        qCWarning(lcBureau) << "picture too large:" << chemin << taille;
        return {};
    }
    if (lecteur.format() == "jpeg" && (!jpeg.lisible || fichier.size() * 8 < jpeg.bitsMin)) {
        qCWarning(lcBureau) << "JPEG header unreadable, or too little data for" << taille << "in" << chemin;
        return {};
    }
    const bool quart = lecteur.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize droite = quart ? taille.transposed() : taille;
    const PlanDecodage plan = planDecodage(disposition, droite, ecran);
    if (plan.estVide()) {
        qCWarning(lcBureau) << "nothing of" << chemin << "would show";
        return {};
    }
    if (lecteur.format() == "png" && lecteur.transformation() == QImageIOHandler::TransformationNone) {
        const QImage partie
            = fichier.seek(0) ? decoderPngParLignes(&fichier, plan, budget(taille)) : QImage();
        if (partie.isNull())
            qCWarning(lcBureau) << "cannot decode" << chemin;
        return composer(partie, plan, ecran);
    }
    if (lecteur.format() == "jpeg") {
        const QImage partie = fichier.seek(0)
            ? decoderJpegParLignes(&fichier, plan, budget(taille), lecteur.transformation())
            : QImage();
        if (partie.isNull())
            qCWarning(lcBureau) << "cannot decode" << chemin;
        return composer(partie, plan, ecran);
    }
    const qint64 cout = coutDecodage(lecteur, plan, taille);
    // Other pictures keep the bombs' limit: a large picture stored sideways would meet the budget only by
    // being refused, and showing a user's photo is worth the passing memory.
    if (cout > octetsMax) {
        qCWarning(lcBureau) << "decoding" << chemin << taille << "would take" << (cout >> 20) << "MiB";
        return {};
    }
    const QImage image = lecteur.transformation() != QImageIOHandler::TransformationNone
        ? rendreTourne(lecteur, plan, ecran)
        : rendreDroit(lecteur, plan, taille, ecran);
    if (image.isNull())
        qCWarning(lcBureau) << "cannot decode" << chemin << lecteur.errorString();
    return image;
}
} // namespace

QImage rendrePourEcran(const QString &chemin, Disposition disposition, QSize ecran)
{
    const QImage image = rendre(chemin, disposition, ecran);
    // A drawing given up is not handed over, whatever the decoder made of its starved input.
    if (Ouvrier::arretDemande()) {
        qCInfo(lcBureau) << "drawing of" << chemin << "given up";
        return {};
    }
    return image;
}

QByteArray formatImage(const QString &chemin)
{
    FichierImage fichier;
    return ouvrir(chemin, &fichier) ? QImageReader(&fichier).format() : QByteArray();
}

bool RenduEcrans::preparer(const QString &chemin, Disposition disposition, const QList<QRect> &ecrans)
{
    if (chemin != cheminImage || disposition != dispositionImage) {
        oublier();
        cheminImage = chemin;
        dispositionImage = disposition;
    }
    const QList<QSize> tailles = taillesDistinctes(ecrans);
    ImagesParTaille gardees;
    for (const QSize taille : tailles) {
        QImage image;
        for (const auto &[t, deja] : std::as_const(parTaille))
            if (t == taille)
                image = deja;
        if (image.isNull())
            image = rendrePourEcran(cheminImage, dispositionImage, taille);
        if (image.isNull())
            return false;
        gardees.append({taille, image});
    }
    // Sizes no screen has any more are dropped: a few screen-sized pictures at most stay in memory.
    parTaille = gardees;
    return true;
}

void RenduEcrans::oublier()
{
    parTaille.clear();
    cheminImage.clear();
}

// The part of a whole decoded picture that the plan shows, scaled: read in place rather than copied, since
// the picture may weigh hundreds of megabytes.
QImage reduireSurPlace(QImage entiere, const PlanDecodage &plan)
{
    if (plan.source == entiere.rect())
        return reduire(entiere, plan);
    if (entiere.depth() < 32)
        entiere = entiere.convertToFormat(entiere.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                    : QImage::Format_RGB32);
    const QImage vue(entiere.constScanLine(plan.source.top())
                         + qsizetype(plan.source.left()) * entiere.depth() / 8,
                     plan.source.width(), plan.source.height(), entiere.bytesPerLine(), entiere.format());
    return vue.size() == plan.sortie
        ? vue.copy()
        : vue.scaled(plan.sortie, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage reduire(const QImage &image, const PlanDecodage &plan)
{
    QImage partie = plan.source == image.rect() ? image : image.copy(plan.source);
    if (partie.size() != plan.sortie)
        partie = partie.scaled(plan.sortie, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return partie;
}

QImage nouvelleImage(QSize taille, QImage::Format format)
{
    if (taille.isEmpty())
        return {};
    const qsizetype bits = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype ligne = (qsizetype(taille.width()) * bits + 31) / 32 * 4;
    constexpr size_t page = size_t(2) << 20;
    const size_t octets = (size_t(ligne) * size_t(taille.height()) + page - 1) / page * page;
    void *memoire = std::aligned_alloc(page, octets);
    if (!memoire)
        return {};
#ifdef Q_OS_LINUX
    // Thousands of 4 KiB page faults on a screen-sized picture cost more than decoding it at half size.
    madvise(memoire, octets, MADV_HUGEPAGE);
#endif
    return QImage(static_cast<uchar *>(memoire), taille.width(), taille.height(), ligne, format, std::free,
                  memoire);
}

QImage composer(const QImage &decodee, const PlanDecodage &plan, QSize ecran)
{
    if (decodee.isNull() || plan.estVide() || ecran.isEmpty())
        return {};
    const QImage partie = decodee.size() == plan.sortie
        ? decodee
        : decodee.scaled(plan.sortie, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The usual filled or stretched case: the decoder's output is the screen already.
    if (partie.size() == ecran && plan.destination.isNull() && !partie.hasAlphaChannel())
        return partie.convertToFormat(QImage::Format_RGB32);

    QImage resultat = nouvelleImage(ecran, QImage::Format_RGB32);
    if (resultat.isNull())
        return {};
    resultat.fill(Qt::black);
    {
        QPainter peintre(&resultat);
        peintre.drawImage(plan.destination, partie);
    }
    if (plan.pas.isValid())
        repeter(&resultat, plan.pas);
    return resultat;
}

QList<QSize> taillesDistinctes(const QList<QRect> &ecrans)
{
    QList<QSize> tailles;
    for (const QRect &ecran : ecrans)
        if (!tailles.contains(ecran.size()))
            tailles.append(ecran.size());
    return tailles;
}

QImage assembler(QSize bureau, const QList<QRect> &ecrans, const ImagesParTaille &images)
{
    const auto imagePour = [&images](QSize taille) {
        for (const auto &[t, image] : images)
            if (t == taille)
                return image;
        return QImage();
    };
    // One screen over the whole desktop: its picture is the desktop's, no copy.
    if (ecrans.size() == 1 && ecrans.first() == QRect(QPoint(0, 0), bureau))
        return imagePour(bureau);
    QImage resultat = nouvelleImage(bureau, QImage::Format_RGB32);
    if (resultat.isNull())
        return {};
    resultat.fill(Qt::black);
    QPainter peintre(&resultat);
    peintre.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &ecran : ecrans) {
        const QImage image = imagePour(ecran.size());
        if (image.isNull())
            return {};
        peintre.drawImage(ecran.topLeft(), image);
    }
    return resultat;
}

// Opened by the name's own bytes: a name that is not UTF-8 is found as it was listed.
bool fichierLisible(const QString &chemin)
{
    FichierImage fichier;
    return ouvrir(chemin, &fichier);
}

bool imageDecodable(const QString &chemin)
{
    FichierImage fichier;
    if (ouvrir(chemin, &fichier) && QImageReader(&fichier).canRead())
        return true;
    qCWarning(lcBureau) << "wallpaper not changed:" << chemin << "is not a readable picture";
    return false;
}
