#include "rendu.h"
#include "bureau.h"
#include "disposition.h"

#include <QFileInfo>
#include <QImageReader>

namespace {
// Enough for an 8K screen and for the full decode of formats that cannot scale while decoding.
constexpr int limiteAllocationMo = 256;
// Above this a picture is taken for a decompression bomb, whatever its format can do.
constexpr qint64 pixelsMax = qint64(1) << 28;

// JPEG scales by eighths while decoding; worth it unless the scaled picture is much larger than the screen.
bool echelleAuDecodage(QImageReader &lecteur, const PlanDecodage &plan, QSize ecran)
{
    const qint64 aireEchelle = qint64(plan.echelle.width()) * plan.echelle.height();
    return lecteur.format() == "jpeg" && aireEchelle <= 4 * qint64(ecran.width()) * ecran.height();
}

// Clip rectangles would be in the stored, unturned frame: decode it all (scaled where the format can) and lay
// out the picture once turned.
QImage rendreTourne(QImageReader &lecteur, QImageIOHandler::Transformations sens, int position, QSize ecran)
{
    const bool quart = sens & QImageIOHandler::TransformationRotate90;
    const QSize droite = quart ? lecteur.size().transposed() : lecteur.size();
    const PlanDecodage plan = planDecodage(position, droite, ecran);
    if (plan.estVide()) {
        qCWarning(lcBureau) << "nothing of" << lecteur.fileName() << "would show";
        return {};
    }
    const bool echelle = plan.echelle != droite && echelleAuDecodage(lecteur, plan, ecran);
    if (echelle)
        lecteur.setScaledSize(quart ? plan.echelle.transposed() : plan.echelle);
    const QImage entiere = lecteur.read();
    if (entiere.isNull()) {
        qCWarning(lcBureau) << "cannot decode" << lecteur.fileName() << lecteur.errorString();
        return {};
    }
    const QImage partie = echelle && entiere.size() == plan.echelle ? entiere.copy(plan.decoupeEchelle)
                                                                    : reduire(entiere, plan);
    return composer(partie, plan, ecran);
}
} // namespace

QImage rendrePourEcran(const QString &chemin, int position, QSize ecran)
{
    // Anything but a regular file (a pipe, a device) could block the decoder forever.
    if (!QFileInfo(chemin).isFile()) {
        qCWarning(lcBureau) << "not a readable picture file:" << chemin;
        return {};
    }
    QImageReader lecteur(chemin);
    lecteur.setAllocationLimit(limiteAllocationMo);
    // A phone photograph taken upright is stored sideways, with its orientation beside it.
    lecteur.setAutoTransform(true);
    const QSize taille = lecteur.size();
    if (!taille.isValid()) {
        // Some decoders only know the size once they have decoded everything.
        const QImage entiere = lecteur.read();
        if (entiere.isNull()) {
            qCWarning(lcBureau) << "cannot decode" << chemin << lecteur.errorString();
            return {};
        }
        const PlanDecodage plan = planDecodage(position, entiere.size(), ecran);
        return composer(reduire(entiere, plan), plan, ecran);
    }
    if (qint64(taille.width()) * taille.height() > pixelsMax) {
        qCWarning(lcBureau) << "picture too large:" << chemin << taille;
        return {};
    }
    const QImageIOHandler::Transformations sens = lecteur.transformation();
    if (sens != QImageIOHandler::TransformationNone)
        return rendreTourne(lecteur, sens, position, ecran);
    const PlanDecodage plan = planDecodage(position, taille, ecran);
    if (plan.estVide()) {
        qCWarning(lcBureau) << "nothing of" << chemin << "would show";
        return {};
    }
    if (plan.echelle != taille && echelleAuDecodage(lecteur, plan, ecran)) {
        // JPEG scales by eighths while decoding, but only by halves once clipped: scale first, crop after.
        lecteur.setScaledSize(plan.echelle);
        if (plan.decoupeEchelle != QRect(QPoint(0, 0), plan.echelle))
            lecteur.setScaledClipRect(plan.decoupeEchelle);
    } else {
        if (plan.source != QRect(QPoint(0, 0), taille))
            lecteur.setClipRect(plan.source);
        if (plan.source.size() != plan.sortie)
            lecteur.setScaledSize(plan.sortie);
    }
    // Decoders that fill a picture of the right size and format in place take this one.
    QImage partie = nouvelleImage(plan.sortie, QImage::Format_RGB32);
    if (!lecteur.read(&partie)) {
        qCWarning(lcBureau) << "cannot decode" << chemin << lecteur.errorString();
        return {};
    }
    return composer(partie, plan, ecran);
}

bool RenduEcrans::preparer(const QString &chemin, int position, const QList<QRect> &ecrans)
{
    if (chemin != cheminImage || position != positionImage) {
        oublier();
        cheminImage = chemin;
        positionImage = position;
    }
    const QList<QSize> tailles = taillesDistinctes(ecrans);
    ImagesParTaille gardees;
    for (const QSize taille : tailles) {
        QImage image;
        for (const auto &[t, deja] : std::as_const(parTaille))
            if (t == taille)
                image = deja;
        if (image.isNull())
            image = rendrePourEcran(cheminImage, positionImage, taille);
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
