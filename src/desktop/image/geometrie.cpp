#include "geometrie.h"

#include <algorithm>
#include <cmath>

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
} // namespace

QRect placement(Disposition disposition, QSize image, QSize ecran)
{
    if (image.isEmpty() || ecran.isEmpty())
        return {};
    const qint64 iw = image.width(), ih = image.height();
    const qint64 w = ecran.width(), h = ecran.height();
    switch (disposition) {
    case Disposition::Centre:
        return QRect(QPoint(int((w - iw) / 2), int((h - ih) / 2)), image);
    case Disposition::Mosaique:
        return QRect(QPoint(0, 0), image);
    case Disposition::Etire:
        return QRect(QPoint(0, 0), ecran);
    case Disposition::Ajuste:
    case Disposition::Rempli:
        break;
    }
    const bool largeurLimite = w * ih <= h * iw;
    const bool parLargeur = disposition == Disposition::Ajuste ? largeurLimite : w * ih >= h * iw;
    const QSize taille = parLargeur ? QSize(int(w), borne((ih * w + iw / 2) / iw))
                                    : QSize(borne((iw * h + ih / 2) / ih), int(h));
    return QRect(QPoint(int((w - taille.width()) / 2), int((h - taille.height()) / 2)), taille);
}

PlanDecodage planDecodage(Disposition disposition, QSize image, QSize ecran)
{
    PlanDecodage plan;
    const QRect cadre = placement(disposition, image, ecran);
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
    plan.echelle = cadre.size();
    plan.partie = dansCadre;
    plan.destination = visible.topLeft();
    if (disposition == Disposition::Mosaique)
        plan.pas = image;
    return plan;
}
