#include "bureaunul.h"

BureauNul::BureauNul(const QString &raison)
    : raison(raison)
{
}

QString BureauNul::nom() const
{
    return QStringLiteral("nul");
}

void BureauNul::remettre(const QString &chemin)
{
    qCWarning(lcBureau) << "wallpaper not changed to" << chemin << "because" << raison;
}

int BureauNul::lirePosition()
{
    return 0;
}

void BureauNul::enregistrerPosition(int position)
{
    qCWarning(lcBureau) << "layout" << position << "not applied because" << raison;
}
