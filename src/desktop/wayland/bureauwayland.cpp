#include "bureauwayland.h"
#include "desktop/image/fichierimage.h"

namespace {
constexpr TableDispositions<const char *> modes {"center", "tile", "stretch", "fit", "fill"};
} // namespace

BureauWayland::BureauWayland(const QString &nomMagasin)
    : magasin(nomMagasin)
{
    connect(this, &Bureau::imageTraitee, this, [this](const QString &chemin) {
        if (chemin == enCours)
            enCours.clear();
    });
}

QString BureauWayland::mode(Disposition disposition)
{
    return QString::fromLatin1(modes[disposition]);
}

void BureauWayland::montrer(const QString &chemin)
{
    parSortie.clear();
    envoyerNouvelle(chemin);
}

void BureauWayland::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    parSortie.clear();
    for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i)
        parSortie.append({ecrans[i].nom, chemins[i]});
    envoyerNouvelle(chemins.value(0));
}

void BureauWayland::envoyerNouvelle(const QString &chemin)
{
    // Checked by the caller: sent at once.
    ++demandes;
    enCours = chemin;
    envoyer(chemin, magasin.lireOuDefaut(), true);
}

std::optional<Disposition> BureauWayland::lireDisposition()
{
    return magasin.lireOuDefaut();
}

void BureauWayland::enregistrerDisposition(Disposition disposition)
{
    magasin.enregistrer(disposition);
    // A picture still on its way goes in the new layout, and reports for itself.
    const QString image = enCours.isEmpty() ? imageCourante() : enCours;
    if (!image.isEmpty())
        verifierPuisEnvoyer(image, disposition, !enCours.isEmpty());
}

void BureauWayland::verifierPuisEnvoyer(const QString &chemin, Disposition disposition, bool signaler)
{
    // The compositor says it shows a file it then cannot draw, and a broken one is an empty screen: a picture
    // gone or broken since it was checked is refused, and the one shown stays.
    verification.planifier([chemin] { return fichierLisible(chemin) && imageDecodable(chemin); },
                           [this, chemin, disposition, signaler, avant = ++demandes](bool lisible) {
                               if (avant != demandes)
                                   return; // a newer request replaced this one
                               if (lisible)
                                   envoyer(chemin, disposition, signaler);
                               else if (signaler)
                                   this->signaler(chemin, Resultat::Refusee);
                           });
}
