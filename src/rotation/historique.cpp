#include "historique.h"

#include "commun/chemins.h"
#include "commun/nomsfichiers.h"
#include "desktop/bureau.h"

#include <QLoggingCategory>
#include <QSettings>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcRotation)

namespace {
const QString cleMontrees = QStringLiteral("historique"), clePlace = QStringLiteral("place"),
              cleEcartees = QStringLiteral("ecartees"), cleEcrans = QStringLiteral("ecrans");

// A list of one is kept as its one value, which reads back as such.
QStringList lireNoms(const QSettings &fichier, const QString &cle)
{
    const QVariant valeur = fichier.value(cle);
    const bool liste
        = valeur.typeId() == QMetaType::QVariantList || valeur.typeId() == QMetaType::QStringList;
    QStringList noms;
    for (const QVariant &v : liste ? valeur.toList() : QVariantList {valeur}) {
        const QString nom = nomDepuisReglage(v);
        if (!nom.isEmpty())
            noms.append(nom);
    }
    return noms;
}

void ecrireNoms(QSettings &fichier, const QString &cle, const QStringList &noms)
{
    QVariantList valeurs;
    for (const QString &n : noms)
        valeurs.append(nomVersReglage(n));
    if (valeurs.isEmpty())
        fichier.remove(cle);
    else
        fichier.setValue(cle, valeurs.size() == 1 ? valeurs.constFirst() : QVariant(valeurs));
}
} // namespace

Historique::Historique()
{
    const QSettings fichier(cheminRotation(), QSettings::IniFormat);
    montrees = lireNoms(fichier, cleMontrees);
    // A place that means nothing is the newest, as after a draw.
    bool lue = false;
    place = fichier.value(clePlace).toInt(&lue);
    if (!lue || place < 0 || place >= montrees.size())
        place = int(montrees.size()) - 1;
    if (const int trop = int(montrees.size()) - taille; trop > 0) {
        montrees.remove(0, trop);
        place = std::max(place - trop, 0);
    }
    liste = lireNoms(fichier, cleEcartees);
    liste.removeDuplicates();
    ensemble = QSet<QString>(liste.cbegin(), liste.cend());
    parEcran = lireNoms(fichier, cleEcrans);
}

void Historique::noter(const QString &chemin, bool retour, const QStringList &ecrans)
{
    parEcran = ecrans;
    const int trouvee = retour ? int(montrees.lastIndexOf(chemin, place)) : -1;
    if (trouvee >= 0) {
        place = trouvee;
    } else {
        // As a browser does: what was gone back past gives way to the new picture, so that "Précédent" then
        // shows the one that was on screen before it.
        montrees.resize(place + 1);
        montrees.append(chemin);
        if (montrees.size() > taille)
            montrees.removeFirst();
        place = int(montrees.size()) - 1;
    }
    enregistrer();
}

QStringList Historique::precedentes() const
{
    QStringList avant;
    for (int i = place - 1; i >= 0; --i) {
        if (!estEcartee(montrees[i]) && montrees[i] != montrees[place])
            avant.append(montrees[i]);
    }
    return avant;
}

void Historique::ecarter(const QString &chemin)
{
    if (ensemble.contains(chemin))
        return;
    liste.append(chemin);
    ensemble.insert(chemin);
    enregistrer();
}

void Historique::reprendre(const QString &chemin)
{
    if (chemin.isEmpty()) {
        liste.clear();
        ensemble.clear();
    } else if (ensemble.remove(chemin)) {
        liste.removeOne(chemin);
    }
    enregistrer();
}

void Historique::enregistrer() const
{
    QSettings fichier(cheminRotation(), QSettings::IniFormat);
    ecrireNoms(fichier, cleMontrees, montrees);
    fichier.setValue(clePlace, place);
    ecrireNoms(fichier, cleEcartees, liste);
    ecrireNoms(fichier, cleEcrans, parEcran);
    fichier.sync();
    if (fichier.status() != QSettings::NoError)
        qCWarning(lcRotation) << "cannot record the pictures shown and set aside in" << fichier.fileName();
}

QStringList imagesAffichees()
{
    const QStringList ecrans = lireNoms(QSettings(cheminRotation(), QSettings::IniFormat), cleEcrans);
    return !ecrans.isEmpty() || derniereImage().isEmpty() ? ecrans : QStringList {derniereImage()};
}
