#include "fichierini.h"
#include "syntaxeini.h"

#include <QFile>
#include <QSaveFile>

namespace {
const QByteArray marqueUtf8("\xEF\xBB\xBF");

QByteArrayView sansFin(QByteArrayView ligne)
{
    while (ligne.endsWith('\n') || ligne.endsWith('\r'))
        ligne.chop(1);
    return ligne;
}

// Builds, line after line, what a file holds of the keys the filter names.
struct Lecteur
{
    const FichierIni::Filtre &garder;
    QMap<QString, FichierIni::Groupe> groupes;
    QSet<QString> entaches;
    bool erreur = false;
    QString section;

    void lire(QByteArrayView brut)
    {
        const LigneIni l = analyserLigne(brut);
        erreur |= l.erreur;
        if (l.sorte == LigneIni::Section) {
            section = l.nom;
        } else if (l.sorte == LigneIni::Cle && garder(section, l.nom)) {
            QString texte;
            if (decoderUtf8(l.valeur, &texte))
                groupes[section].insert(l.nom, desechapperValeur(texte));
            else
                entaches.insert(section);
        }
    }
    void finir()
    {
        for (const QString &g : std::as_const(entaches))
            groupes.remove(g);
    }
};
} // namespace

FichierIni::FichierIni(const QString &chemin, Filtre filtre)
    : nom(chemin)
    , garder(std::move(filtre))
{
    QFile f(nom);
    Lecteur lecteur {garder, {}, {}, false, {}};
    if (f.open(QIODevice::ReadOnly)) {
        for (bool premiere = true; !f.atEnd(); premiere = false) {
            const QByteArray ligne = f.readLine();
            lecteur.lire(sansFin(premiere && ligne.startsWith(marqueUtf8) ? ligne.sliced(3) : ligne));
        }
    } else {
        lecteur.erreur = f.exists();
    }
    lecteur.finir();
    tenus = std::move(lecteur.groupes);
    entaches = std::move(lecteur.entaches);
    erreur = lecteur.erreur;
}

QString FichierIni::valeur(const QString &groupe, const QString &cle) const
{
    const auto g = tenus.constFind(groupe);
    return g == tenus.cend() ? QString() : g->value(cle);
}

void FichierIni::changer(const QString &groupe, const QString &cle, const QString &texte)
{
    if (entaches.remove(groupe))
        remplaces.insert(groupe);
    Groupe &g = tenus[groupe];
    const auto c = g.constFind(cle);
    if (c != g.cend() && *c == texte && !texte.isNull())
        return;
    g.insert(cle, texte.isNull() ? QString::fromLatin1("", 0) : texte);
    change = true;
}

void FichierIni::supprimerGroupe(const QString &groupe)
{
    change |= tenus.remove(groupe) > 0;
    change |= entaches.remove(groupe);
    remplaces.insert(groupe);
}

bool FichierIni::enregistrer()
{
    if (!change)
        return true;
    QFile source(nom);
    // A file that could not be read is replaced by what was kept of it (the caller keeps a copy aside).
    const bool relire = !erreur && source.open(QIODevice::ReadOnly);
    QSaveFile sortie(nom);
    if (!sortie.open(QIODevice::WriteOnly))
        return false;
#ifdef Q_OS_WIN
    QByteArray fin("\r\n");
#else
    QByteArray fin("\n");
#endif
    Lecteur relu {garder, {}, {}, false, {}};
    bool coupee = false; // the last line written has no line end yet
    const auto ecrire = [&](QByteArrayView ligne, QByteArrayView finLigne) {
        if (coupee)
            sortie.write(fin);
        sortie.write(ligne.data(), ligne.size());
        sortie.write(finLigne.data(), finLigne.size());
        coupee = finLigne.isEmpty();
        relu.lire(ligne);
    };
    const auto copier = [&](const QByteArray &brut) {
        const QByteArrayView ligne = sansFin(brut);
        ecrire(ligne, QByteArrayView(brut).sliced(ligne.size()));
    };
    const auto ecrireCle = [&](const QString &cle, const QString &texte, QByteArrayView finLigne) {
        ecrire(cle.toUtf8() + '=' + echapperValeur(texte), finLigne);
    };

    QString section;
    bool sauter = false; // the section's lines go: the group was removed or written over
    QSet<QString> complets; // kept groups whose every key is in the output
    QSet<QString> cles; // kept keys met in this part of the section
    QList<QByteArray> enAttente; // blank lines and comments after the section's last key
    const auto completer = [&]() {
        const auto g = tenus.constFind(section);
        if (!sauter && g != tenus.cend() && !complets.contains(section)) {
            for (auto c = g->cbegin(); c != g->cend(); ++c) {
                if (!cles.contains(c.key()))
                    ecrireCle(c.key(), c.value(), fin);
            }
            complets.insert(section);
        }
        for (const QByteArray &ligne : std::as_const(enAttente))
            copier(ligne);
        enAttente.clear();
        cles.clear();
    };
    const auto ecrireGroupe = [&](const QString &groupe, QByteArrayView entete) {
        ecrire(entete, fin);
        const Groupe &g = tenus[groupe];
        for (auto c = g.cbegin(); c != g.cend(); ++c)
            ecrireCle(c.key(), c.value(), fin);
        complets.insert(groupe);
    };

    for (bool premiere = relire, finConnue = false; relire && !source.atEnd(); premiere = false) {
        QByteArray brut = source.readLine();
        if (premiere && brut.startsWith(marqueUtf8)) {
            sortie.write(marqueUtf8);
            brut.remove(0, 3);
        }
        const QByteArrayView ligne = sansFin(brut);
        if (!finConnue && ligne.size() < brut.size()) {
            fin = brut.sliced(ligne.size());
            finConnue = true;
        }
        const LigneIni l = analyserLigne(ligne);
        if (l.sorte == LigneIni::Section) {
            completer();
            section = l.nom;
            sauter = remplaces.contains(section);
            if (!sauter)
                copier(brut);
            else if (tenus.contains(section) && !complets.contains(section))
                ecrireGroupe(section, ligne);
        } else if (!sauter && l.sorte != LigneIni::Cle) {
            // Held back only where keys may still be added, so that a long run of other lines is not held.
            if (tenus.contains(section) && !complets.contains(section))
                enAttente.append(brut);
            else
                copier(brut);
        } else if (!sauter) {
            for (const QByteArray &attente : std::as_const(enAttente))
                copier(attente);
            enAttente.clear();
            const QString texte = valeur(section, l.nom);
            QString lu;
            if (texte.isNull() || (decoderUtf8(l.valeur, &lu) && desechapperValeur(lu) == texte)) {
                copier(brut);
            } else {
                ecrireCle(l.nom, texte, QByteArrayView(brut).sliced(ligne.size()));
            }
            if (!texte.isNull())
                cles.insert(l.nom);
        }
    }
    completer();
    for (auto g = tenus.cbegin(); g != tenus.cend(); ++g) {
        if (!complets.contains(g.key()))
            ecrireGroupe(g.key(), QByteArray('[' + g.key().toUtf8() + ']'));
    }
    if (coupee)
        sortie.write(fin);
    // Windows does not replace a file that is still open.
    source.close();
    if (!sortie.commit())
        return false;
    // The file as written, other programs' changes included, is what is kept from now on.
    relu.finir();
    tenus = std::move(relu.groupes);
    entaches = std::move(relu.entaches);
    remplaces.clear();
    erreur = false;
    change = false;
    return true;
}
