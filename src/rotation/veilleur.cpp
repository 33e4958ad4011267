#include "veilleur.h"

#include "systemeveille.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcRotation)

Veilleur::Veilleur(QObject *parent)
    : QObject(parent)
    , systeme(creerSystemeVeille(this,
                                 [this](const QSet<Marque> &marques, bool toutes,
                                        const QSet<Marque> &perdues) { recevoir(marques, toutes, perdues); }))
{
}

Veilleur::~Veilleur()
{
    systeme->fermer();
    for (auto it = parMarque.cbegin(); it != parMarque.cend(); ++it)
        systeme->liberer(it.key());
}

Veilleur::Poseur Veilleur::poseur() const
{
    // The listing lanes may outlive us: they keep the system part alive, not us.
    return [s = std::shared_ptr<const SystemeVeille>(systeme)](const QString &dossier) {
        return s->poser(dossier);
    };
}

bool Veilleur::surveille(const QString &cle) const
{
    return parCle.contains(cle);
}

void Veilleur::attacher(const QString &cle, Marque marque)
{
    const Marque avant = parCle.value(cle);
    if (avant == marque)
        return;
    detacher(cle);
    if (marque == 0)
        return;
    QSet<QString> &cles = parMarque[marque];
    if (cles.isEmpty())
        systeme->suivre(marque);
    cles.insert(cle);
    parCle.insert(cle, marque);
}

void Veilleur::detacher(const QString &cle)
{
    const auto it = parCle.constFind(cle);
    if (it == parCle.cend())
        return;
    const Marque marque = *it;
    parCle.erase(it);
    QSet<QString> &cles = parMarque[marque];
    cles.remove(cle);
    if (cles.isEmpty())
        lacher(marque);
}

void Veilleur::abandonner(Marque marque)
{
    if (marque != 0 && !parMarque.contains(marque))
        systeme->liberer(marque);
}

void Veilleur::lacher(Marque marque)
{
    parMarque.remove(marque);
    systeme->liberer(marque);
}

void Veilleur::recevoir(const QSet<Marque> &marques, bool toutes, const QSet<Marque> &perdues)
{
    QSet<QString> cles;
    if (toutes) {
        qCInfo(lcRotation) << "too many changes at once; every watched folder is listed again";
        for (auto it = parCle.cbegin(); it != parCle.cend(); ++it)
            cles.insert(it.key());
    }
    for (const Marque marque : marques)
        cles.unite(parMarque.value(marque));
    // A folder deleted takes its watch with it: its locations take a new one when it is listed again.
    for (const Marque marque : perdues) {
        for (const QString &cle : parMarque.take(marque))
            parCle.remove(cle);
    }
    if (!cles.isEmpty())
        emit changes(cles);
}
