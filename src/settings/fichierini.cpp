#include "fichierini.h"
#include "syntaxeini.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {
const QByteArray marqueUtf8("\xEF\xBB\xBF");

QByteArrayView sansFin(QByteArrayView ligne)
{
    while (ligne.endsWith('\n') || ligne.endsWith('\r'))
        ligne.chop(1);
    return ligne;
}

const QString *chercher(const FichierIni::Groupe &groupe, const QString &cle)
{
    for (const auto &[nom, texte] : groupe)
        if (nom == cle)
            return &texte;
    return nullptr;
}

void inserer(FichierIni::Groupe *groupe, const QString &cle, const QString &texte)
{
    auto place = std::lower_bound(groupe->begin(), groupe->end(), cle,
                                  [](const auto &paire, const QString &nom) { return paire.first < nom; });
    if (place != groupe->end() && place->first == cle)
        place->second = texte;
    else
        groupe->insert(place, {cle, texte});
}

// A file's lines through a buffer of our own: QIODevice::readLine makes an array for every line, which costs
// more than reading what it holds.
class Lignes
{
public:
    explicit Lignes(QIODevice *fichier)
        : fichier(fichier)
    {
    }
    // The next line with its line end, valid until the next call; false at the end.
    bool suivante(QByteArrayView *ligne)
    {
        for (;;) {
            const qsizetype retour = tampon.indexOf('\n', debut);
            if (retour >= 0 || (fini && debut < tampon.size())) {
                const qsizetype finLigne = retour >= 0 ? retour + 1 : tampon.size();
                *ligne = QByteArrayView(tampon).sliced(debut, finLigne - debut);
                debut = finLigne;
                return true;
            }
            if (fini)
                return false;
            tampon.remove(0, debut);
            debut = 0;
            const QByteArray bloc = fichier->read(1 << 16);
            fini = bloc.isEmpty();
            tampon += bloc;
        }
    }

private:
    QIODevice *fichier;
    QByteArray tampon;
    qsizetype debut = 0;
    bool fini = false;
};

// Builds, line after line, what a file holds of the keys the filter names.
struct Lecteur
{
    const FichierIni::Filtre &garder;
    QHash<QString, FichierIni::Groupe> groupes;
    QSet<QString> entaches;
    bool erreur = false;
    QString section;
    // The section's group once it holds a key: looked up once per section, not once per key.
    FichierIni::Groupe *groupe = nullptr;
    QSet<QString> noms;

    void lire(QByteArrayView brut)
    {
        const LigneIni l = analyserLigne(brut);
        erreur |= l.erreur;
        if (l.sorte == LigneIni::Section) {
            entrer(l.nom);
        } else if (l.sorte == LigneIni::Cle && garder(section, l.nom)) {
            QString texte;
            if (decoderUtf8(l.valeur, &texte))
                garderTexte(l.nom, desechapperValeur(texte));
            else
                entaches.insert(section);
        }
    }
    // A section whose header is known.
    void entrer(const QString &nom)
    {
        section = nom;
        groupe = nullptr;
    }
    // A key of the current section whose text is known, as reading its line would give it.
    void garderTexte(const QString &cle, const QString &texte)
    {
        if (!groupe)
            groupe = &groupes[section];
        // Every group holds the same few names: one copy of each.
        auto nom = noms.constFind(cle);
        if (nom == noms.cend())
            nom = noms.insert(cle);
        inserer(groupe, *nom, texte);
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
    Lecteur lecteur {garder, {}, {}, false, {}, nullptr, {}};
    if (f.open(QIODevice::ReadOnly)) {
        Lignes lignes(&f);
        QByteArrayView ligne;
        for (bool premiere = true; lignes.suivante(&ligne); premiere = false)
            lecteur.lire(sansFin(premiere && ligne.startsWith(marqueUtf8) ? ligne.sliced(3) : ligne));
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
    const QString *texte = g == tenus.cend() ? nullptr : chercher(*g, cle);
    return texte ? *texte : QString();
}

void FichierIni::changer(const QString &groupe, const QString &cle, const QString &texte)
{
    if (entaches.remove(groupe))
        remplaces.insert(groupe);
    Groupe &g = tenus[groupe];
    const QString *avant = chercher(g, cle);
    if (avant && *avant == texte && !texte.isNull())
        return;
    inserer(&g, cle, texte.isNull() ? QString::fromLatin1("", 0) : texte);
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
    Lecteur relu {garder, {}, {}, false, {}, nullptr, {}};
    bool coupee = false; // the last line written has no line end yet
    // A line written as it is; what it holds is for the caller to tell relu, which knows it already.
    const auto ecrireTel = [&](QByteArrayView ligne, QByteArrayView finLigne) {
        if (coupee)
            sortie.write(fin);
        sortie.write(ligne.data(), ligne.size());
        sortie.write(finLigne.data(), finLigne.size());
        coupee = finLigne.isEmpty();
    };
    const auto ecrire = [&](QByteArrayView ligne, QByteArrayView finLigne) {
        ecrireTel(ligne, finLigne);
        relu.lire(ligne);
    };
    const auto copier = [&](QByteArrayView brut) {
        const QByteArrayView ligne = sansFin(brut);
        ecrire(ligne, QByteArrayView(brut).sliced(ligne.size()));
    };
    // A line written from a kept value is not read back: its text is that value.
    const auto ecrireCle = [&](const QString &cle, const QString &texte, QByteArrayView finLigne) {
        ecrireTel(cle.toUtf8() + '=' + echapperValeur(texte), finLigne);
        relu.garderTexte(cle, texte);
    };

    QString section;
    const Groupe *groupeSection = nullptr; // what we hold of it, found once
    bool sauter = false; // the section's lines go: the group was removed or written over
    QSet<QString> complets; // kept groups whose every key is in the output
    QSet<QString> cles; // kept keys met in this part of the section
    QList<QByteArray> enAttente; // blank lines and comments after the section's last key
    const auto completer = [&]() {
        const auto g = tenus.constFind(section);
        if (!sauter && g != tenus.cend() && !complets.contains(section)) {
            for (const auto &[cle, texte] : *g) {
                if (!cles.contains(cle))
                    ecrireCle(cle, texte, fin);
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
        const Groupe &g = *tenus.constFind(groupe);
        for (const auto &[cle, texte] : g)
            ecrireCle(cle, texte, fin);
        complets.insert(groupe);
    };

    Lignes lignes(&source);
    QByteArrayView brut;
    for (bool premiere = relire, finConnue = false; relire && lignes.suivante(&brut); premiere = false) {
        if (premiere && brut.startsWith(marqueUtf8)) {
            sortie.write(marqueUtf8);
            brut = brut.sliced(3);
        }
        const QByteArrayView ligne = sansFin(brut);
        if (!finConnue && ligne.size() < brut.size()) {
            fin = brut.sliced(ligne.size()).toByteArray();
            finConnue = true;
        }
        const LigneIni l = analyserLigne(ligne);
        if (l.sorte == LigneIni::Section) {
            completer();
            section = l.nom;
            const auto g = tenus.constFind(section);
            groupeSection = g == tenus.cend() ? nullptr : &*g;
            sauter = remplaces.contains(section);
            if (!sauter && !l.erreur) {
                ecrireTel(ligne, brut.sliced(ligne.size()));
                relu.entrer(section);
            } else if (!sauter) {
                copier(brut);
            } else if (tenus.contains(section) && !complets.contains(section))
                ecrireGroupe(section, ligne);
        } else if (!sauter && l.sorte != LigneIni::Cle) {
            // Held back only where keys may still be added, so that a long run of other lines is not held.
            if (tenus.contains(section) && !complets.contains(section))
                enAttente.append(brut.toByteArray());
            else
                copier(brut);
        } else if (!sauter) {
            for (const QByteArray &attente : std::as_const(enAttente))
                copier(attente);
            enAttente.clear();
            const QString *tenu = groupeSection ? chercher(*groupeSection, l.nom) : nullptr;
            const QString texte = tenu ? *tenu : QString();
            QString lu;
            if (texte.isNull()) {
                copier(brut);
            } else if (decoderUtf8(l.valeur, &lu) && desechapperValeur(lu) == texte) {
                ecrireTel(ligne, brut.sliced(ligne.size()));
                relu.garderTexte(l.nom, texte);
            } else {
                ecrireCle(l.nom, texte, brut.sliced(ligne.size()));
            }
            if (!texte.isNull())
                cles.insert(l.nom);
        }
    }
    completer();
    // Groups new to the file go at its end, in the order of their names.
    QStringList nouveaux;
    for (auto g = tenus.cbegin(); g != tenus.cend(); ++g) {
        if (!complets.contains(g.key()))
            nouveaux.append(g.key());
    }
    std::sort(nouveaux.begin(), nouveaux.end());
    for (const QString &g : std::as_const(nouveaux))
        ecrireGroupe(g, QByteArray('[' + g.toUtf8() + ']'));
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
