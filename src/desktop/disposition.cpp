#include "disposition.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {
int borne(qint64 valeur)
{
    return int(std::clamp<qint64>(valeur, 1, 1 << 30));
}

// The picture-space span [debut, fin) that a screen span of the scaled picture comes from.
void versSource(int debut, int fin, int taille, int tailleEchelle, int *sDebut, int *sFin)
{
    const double f = double(taille) / tailleEchelle;
    *sDebut = std::clamp(int(std::floor(debut * f)), 0, taille - 1);
    *sFin = std::clamp(int(std::ceil(fin * f)), *sDebut + 1, taille);
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
} // namespace

PositionFond positionEffective(int position)
{
    return position >= Centre && position <= Rempli ? PositionFond(position) : Rempli;
}

QRect placement(int position, QSize image, QSize ecran)
{
    if (image.isEmpty() || ecran.isEmpty())
        return {};
    const qint64 iw = image.width(), ih = image.height();
    const qint64 w = ecran.width(), h = ecran.height();
    const PositionFond p = positionEffective(position);
    switch (p) {
    case Centre:
        return QRect(QPoint(int((w - iw) / 2), int((h - ih) / 2)), image);
    case Mosaique:
        return QRect(QPoint(0, 0), image);
    case Etire:
        return QRect(QPoint(0, 0), ecran);
    case Ajuste:
    case Rempli:
        break;
    }
    const bool largeurLimite = w * ih <= h * iw;
    const bool parLargeur = p == Ajuste ? largeurLimite : w * ih >= h * iw;
    const QSize taille = parLargeur ? QSize(int(w), borne((ih * w + iw / 2) / iw))
                                    : QSize(borne((iw * h + ih / 2) / ih), int(h));
    return QRect(QPoint(int((w - taille.width()) / 2), int((h - taille.height()) / 2)), taille);
}

PlanDecodage planDecodage(int position, QSize image, QSize ecran)
{
    PlanDecodage plan;
    const QRect cadre = placement(position, image, ecran);
    const QRect visible = cadre.intersected(QRect(QPoint(0, 0), ecran));
    if (visible.isEmpty())
        return plan;
    const QRect dansCadre = visible.translated(-cadre.topLeft());
    if (cadre.size() == image) {
        plan.source = dansCadre;
    } else {
        int x0, x1, y0, y1;
        versSource(dansCadre.left(), dansCadre.right() + 1, image.width(), cadre.width(), &x0, &x1);
        versSource(dansCadre.top(), dansCadre.bottom() + 1, image.height(), cadre.height(), &y0, &y1);
        plan.source = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
    }
    plan.sortie = visible.size();
    plan.destination = visible.topLeft();
    plan.echelle = cadre.size();
    plan.decoupeEchelle = dansCadre;
    if (positionEffective(position) == Mosaique)
        plan.pas = image;
    return plan;
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
