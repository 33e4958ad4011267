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
// more than reading what it holds, and knows no line end but LF. A lone CR ends a line too, as in Qt's ini
// reader.
class Lignes
{
public:
    explicit Lignes(QIODevice *fichier)
        : fichier(fichier)
    {
    }
    // The next line with its line end, valid until the next call; false at the end, or at a line longer than
    // any settings line, which is not read (trop is then set).
    bool suivante(QByteArrayView *ligne)
    {
        for (;;) {
            const QByteArrayView t(tampon);
            const qsizetype i
                = std::find_if(t.begin() + vu, t.end(), [](char c) { return c == '\n' || c == '\r'; })
                - t.begin();
            // A CR that ends what is read may be the first half of a CRLF.
            if (i < t.size() && (t[i] == '\n' || i + 1 < t.size() || fini)) {
                const qsizetype fin = i + 1 + (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n');
                *ligne = t.sliced(debut, fin - debut);
                debut = vu = fin;
                return true;
            }
            if (fini && debut < tampon.size()) {
                *ligne = QByteArrayView(tampon).sliced(debut);
                debut = vu = tampon.size();
                return true;
            }
            trop = i - debut > (1 << 20);
            if (fini || trop)
                return false;
            tampon.remove(0, debut);
            vu = i - debut;
            debut = 0;
            const QByteArray bloc = fichier->read(1 << 16);
            fini = bloc.isEmpty();
            tampon += bloc;
        }
    }
    bool trop = false;

private:
    QIODevice *fichier;
    QByteArray tampon;
    qsizetype debut = 0;
    qsizetype vu = 0; // where to look for the next line end
    bool fini = false;
};

// Builds, line after line, what a file holds of the keys the filter names.
struct Lecteur
{
    const FichierIni::Filtre &garder;
    QHash<QString, FichierIni::Groupe> groupes;
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
            garderTexte(l.nom, desechapperValeur(decoderValeur(l.valeur)));
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
};
} // namespace

FichierIni::FichierIni(const QString &chemin, Filtre filtre)
    : nom(chemin)
    , garder(std::move(filtre))
{
    QFile f(nom);
    Lecteur lecteur {garder, {}, false, {}, nullptr, {}};
    if (f.open(QIODevice::ReadOnly)) {
        Lignes lignes(&f);
        QByteArrayView ligne;
        int numero = 1;
        for (; !lecteur.erreur && lignes.suivante(&ligne); ++numero)
            lecteur.lire(sansFin(numero == 1 && ligne.startsWith(marqueUtf8) ? ligne.sliced(3) : ligne));
        if (lecteur.erreur || lignes.trop)
            raison = QStringLiteral("line %1 is neither a section, a key nor a comment")
                         .arg(numero - !lignes.trop);
    } else if (f.exists()) {
        raison = f.errorString();
    }
    if (raison.isEmpty())
        tenus = std::move(lecteur.groupes);
}

QString FichierIni::valeur(const QString &groupe, const QString &cle) const
{
    const auto g = tenus.constFind(groupe);
    const QString *texte = g == tenus.cend() ? nullptr : chercher(*g, cle);
    return texte ? *texte : QString();
}

void FichierIni::changer(const QString &groupe, const QString &cle, const QString &texte)
{
    Groupe &g = tenus[groupe];
    const QString *avant = chercher(g, cle);
    if (avant && *avant == texte && !texte.isNull())
        return;
    if (!avant)
        ajoutees.insert({groupe, cle});
    inserer(&g, cle, texte.isNull() ? QString::fromLatin1("", 0) : texte);
    change = true;
}

void FichierIni::supprimerGroupe(const QString &groupe)
{
    change |= tenus.remove(groupe) > 0;
    remplaces.insert(groupe);
}

bool FichierIni::enregistrer()
{
    if (!change)
        return true;
    QFile source(nom);
    // What was not read as settings is never written over.
    const bool relire = source.open(QIODevice::ReadOnly);
    if (!raison.isEmpty() || (!relire && source.exists()))
        return false;
    QSaveFile sortie(nom);
    if (!sortie.open(QIODevice::WriteOnly))
        return false;
#ifdef Q_OS_WIN
    QByteArray fin("\r\n");
#else
    QByteArray fin("\n");
#endif
    Lecteur relu {garder, {}, false, {}, nullptr, {}};
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
            // Only keys new to the file: one met in a later part of a repeated section stays there.
            for (const auto &[cle, texte] : *g) {
                if (!cles.contains(cle) && ajoutees.contains({section, cle}))
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
        // A lone CR is read as a line end but never taken for the file's.
        if (!finConnue && brut.endsWith('\n')) {
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
            if (!sauter)
                copier(brut);
            else if (tenus.contains(section) && !complets.contains(section))
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
            if (texte.isNull()) {
                copier(brut);
            } else if (desechapperValeur(decoderValeur(l.valeur)) == texte) {
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
    // Another program made it something else meanwhile: it is left as it is.
    if (lignes.trop || relu.erreur || !sortie.commit())
        return false;
    // The file as written, other programs' changes included, is what is kept from now on.
    tenus = std::move(relu.groupes);
    remplaces.clear();
    ajoutees.clear();
    change = false;
    return true;
}
