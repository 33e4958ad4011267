#include "historique.h"

#include "commun/chemins.h"
#include "commun/nomsfichiers.h"
#include "desktop/bureau.h"

#include <QLoggingCategory>
#include <QSettings>
#include <QUrl>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcRotation)

namespace {
const QString cleMontrees = QStringLiteral("historique"), clePlace = QStringLiteral("place"),
              cleEcartees = QStringLiteral("ecartees"), cleEcrans = QStringLiteral("ecrans"),
              groupePistes = QStringLiteral("ecran");

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
    QSettings fichier(cheminRotation(), QSettings::IniFormat);
    const auto lirePiste = [&fichier] {
        Piste piste {lireNoms(fichier, cleMontrees)};
        // A place that means nothing is the newest, as after a draw.
        bool lue = false;
        piste.place = fichier.value(clePlace).toInt(&lue);
        if (!lue || piste.place < 0 || piste.place >= piste.montrees.size())
            piste.place = int(piste.montrees.size()) - 1;
        if (const int trop = int(piste.montrees.size()) - taille; trop > 0) {
            piste.montrees.remove(0, trop);
            piste.place = std::max(piste.place - trop, 0);
        }
        return piste;
    };
    pistes.insert({}, lirePiste());
    fichier.beginGroup(groupePistes);
    for (const QString &ecran : fichier.childGroups()) {
        fichier.beginGroup(ecran);
        pistes.insert(QUrl::fromPercentEncoding(ecran.toLatin1()), lirePiste());
        fichier.endGroup();
    }
    fichier.endGroup();
    liste = lireNoms(fichier, cleEcartees);
    liste.removeDuplicates();
    ensemble = QSet<QString>(liste.cbegin(), liste.cend());
    parEcran = lireNoms(fichier, cleEcrans);
}

void Historique::noter(const QHash<QString, QString> &parPiste, bool retour, const QStringList &ecrans)
{
    parEcran = ecrans;
    for (auto it = parPiste.cbegin(); it != parPiste.cend(); ++it) {
        Piste &piste = pistes[it.key()];
        const int trouvee = retour ? int(piste.montrees.lastIndexOf(it.value(), piste.place)) : -1;
        if (trouvee >= 0) {
            piste.place = trouvee;
            continue;
        }
        // As a browser does: what was gone back past gives way to the new picture, so that "Précédent" then
        // shows the one that was on screen before it.
        piste.montrees.resize(piste.place + 1);
        piste.montrees.append(it.value());
        if (piste.montrees.size() > taille)
            piste.montrees.removeFirst();
        piste.place = int(piste.montrees.size()) - 1;
    }
    enregistrer();
}

QStringList Historique::precedentes(const QString &piste) const
{
    const Piste p = pistes.value(piste);
    QStringList avant;
    for (int i = p.place - 1; i >= 0; --i) {
        if (!estEcartee(p.montrees[i]) && p.montrees[i] != p.montrees[p.place])
            avant.append(p.montrees[i]);
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
    fichier.remove(groupePistes);
    for (auto it = pistes.cbegin(); it != pistes.cend(); ++it) {
        if (!it.key().isEmpty())
            // Monitor names may hold what QSettings takes for separators (Windows' "\\.\DISPLAY1").
            fichier.beginGroup(groupePistes + QLatin1Char('/')
                               + QString::fromLatin1(QUrl::toPercentEncoding(it.key())));
        ecrireNoms(fichier, cleMontrees, it->montrees);
        fichier.setValue(clePlace, it->place);
        if (!it.key().isEmpty())
            fichier.endGroup();
    }
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
