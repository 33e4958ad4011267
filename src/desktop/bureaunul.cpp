#include "bureaunul.h"

BureauNul::BureauNul(const QString &raison)
    : raison(raison)
{
}

void BureauNul::montrer(const QString &chemin)
{
    qCWarning(lcBureau) << "wallpaper not changed to" << chemin << "because" << raison;
    signaler(chemin, Resultat::Injoignable);
}

std::optional<Disposition> BureauNul::lireDisposition()
{
    return std::nullopt;
}

void BureauNul::enregistrerDisposition(Disposition disposition)
{
    qCWarning(lcBureau) << "layout" << numeroDe(disposition) << "not applied because" << raison;
}
