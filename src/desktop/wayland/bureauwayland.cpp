#include "bureauwayland.h"

namespace {
constexpr TableDispositions<const char *> modes {"center", "tile", "stretch", "fit", "fill"};
} // namespace

BureauWayland::BureauWayland(const QString &nomMagasin)
    : magasin(nomMagasin)
    , demandee(imageCourante())
{
    // A picture that could not be shown is not the one to bring back in a new layout.
    connect(this, &Bureau::imageTraitee, this, [this](const QString &chemin, Resultat resultat) {
        if (resultat != Resultat::Montree && chemin == demandee)
            demandee = imageCourante();
    });
}

QString BureauWayland::mode(Disposition disposition)
{
    return QString::fromLatin1(modes[disposition]);
}

void BureauWayland::montrer(const QString &chemin)
{
    ++demandes;
    demandee = chemin;
    envoyer(chemin, magasin.lireOuDefaut(), true);
}

std::optional<Disposition> BureauWayland::lireDisposition()
{
    return magasin.lireOuDefaut();
}

void BureauWayland::enregistrerDisposition(Disposition disposition)
{
    magasin.enregistrer(disposition);
    const QString image = demandee;
    if (image.isEmpty())
        return;
    verification.planifier([image] { return fichierLisible(image) && imageDecodable(image); },
                           [this, image, disposition, avant = demandes](bool lisible) {
                               if (lisible && demandes == avant)
                                   envoyer(image, disposition, false);
                           });
}

bool BureauWayland::attendreVerification(int msecs)
{
    return verification.attendre(msecs);
}
