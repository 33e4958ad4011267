#include "fichierini.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {
const QByteArray marqueUtf8("\xEF\xBB\xBF");

QByteArrayView sansFin(QByteArrayView ligne)
{
    while (ligne.endsWith('\n') || ligne.endsWith('\r'))
        ligne.chop(1);
    return ligne;
}

// False when the bytes are not UTF-8: such a value is never read as another one.
bool decoder(QByteArrayView octets, QString *texte)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *texte = utf8.decode(octets);
    return !utf8.hasError();
}

int chiffre(QChar c, int base)
{
    const char16_t u = c.unicode();
    const int d = u >= u'0' && u <= u'9' ? u - u'0'
        : u >= u'a' && u <= u'f'         ? u - u'a' + 10
        : u >= u'A' && u <= u'F'         ? u - u'A' + 10
                                         : 99;
    return d < base ? d : -1;
}

// A value's text as Qt's ini syntax reads it, except that an unquoted comma is text, not a list separator.
QString desechapper(QStringView brut)
{
    QString r = QString::fromLatin1("", 0);
    bool entre = false;
    qsizetype fixe = 0; // quoted and escaped text is not trimmed
    qsizetype i = 0;
    const qsizetype n = brut.size();
    while (i < n && (brut[i] == u' ' || brut[i] == u'\t'))
        ++i;
    while (i < n) {
        const QChar c = brut[i++];
        if (c == u'"') {
            entre = !entre;
            fixe = r.size();
        } else if (c == u';' && !entre) {
            break;
        } else if (c != u'\\' || i == n) {
            r += c;
            fixe = entre ? r.size() : fixe;
        } else {
            const QChar e = brut[i++];
            const qsizetype k = QStringView(u"abfnrtv\"'?\\").indexOf(e);
            const int base = e == u'x' ? 16 : e >= u'0' && e <= u'7' ? 8 : 0;
            if (k >= 0) {
                r += QChar(u"\a\b\f\n\r\t\v\"'?\\"[k]);
            } else if (base) {
                char16_t v = base == 8 ? e.unicode() - u'0' : 0;
                const qsizetype debut = i;
                for (int d; i < n && (d = chiffre(brut[i], base)) >= 0; ++i)
                    v = char16_t(v * base + d);
                if (base == 8 || i > debut)
                    r += QChar(v);
            }
            fixe = r.size();
        }
    }
    while (r.size() > fixe && (r.endsWith(u' ') || r.endsWith(u'\t')))
        r.chop(1);
    if (r.startsWith(QLatin1String("@@")))
        r.remove(0, 1);
    return r;
}

struct Ligne
{
    enum Sorte { Autre, Section, Cle } sorte = Autre;
    bool erreur = false;
    QString nom;
    QByteArrayView valeur;
};

Ligne analyser(QByteArrayView brut)
{
    const QByteArrayView t = brut.trimmed();
    Ligne l;
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#'))
        return l;
    if (t.startsWith('[')) {
        const qsizetype fin = t.indexOf(']');
        l.sorte = Ligne::Section;
        l.erreur = fin < 0;
        l.nom = QString::fromUtf8((fin < 0 ? t.sliced(1) : t.sliced(1, fin - 1)).trimmed());
        if (l.nom.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
            l.nom.clear();
        return l;
    }
    const qsizetype egal = t.indexOf('=');
    l.erreur = egal < 0;
    if (egal > 0) {
        l.sorte = Ligne::Cle;
        l.nom = QString::fromUtf8(t.first(egal).trimmed());
        l.valeur = t.sliced(egal + 1);
    }
    return l;
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
        const Ligne l = analyser(brut);
        erreur |= l.erreur;
        if (l.sorte == Ligne::Section) {
            section = l.nom;
        } else if (l.sorte == Ligne::Cle && garder(section, l.nom)) {
            QString texte;
            if (decoder(l.valeur, &texte))
                groupes[section].insert(l.nom, desechapper(texte));
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

QByteArray FichierIni::echapper(const QString &texte)
{
    QByteArray r;
    QString morceau;
    bool guillemets = false, hexa = false;
    const QString s = texte.startsWith(u'@') ? QLatin1Char('@') + texte : texte;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        guillemets |= u == u';' || u == u',' || u == u'=';
        const qsizetype k = QStringView(u"\n\r\t\"\\").indexOf(c);
        if (k < 0 && u >= 0x20 && u != 0x7f && !(hexa && chiffre(c, 16) >= 0)) {
            morceau += c;
            hexa = false;
            continue;
        }
        r += morceau.toUtf8();
        morceau.clear();
        // A hex digit after a \x escape would be read as part of it.
        r += k >= 0 ? QByteArray("\\") + "nrt\"\\"[k] : "\\x" + QByteArray::number(u, 16);
        hexa = k < 0;
    }
    r += morceau.toUtf8();
    if (guillemets || r.startsWith(' ') || r.endsWith(' '))
        r = '"' + r + '"';
    return r;
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
        ecrire(cle.toUtf8() + '=' + echapper(texte), finLigne);
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
        const Ligne l = analyser(ligne);
        if (l.sorte == Ligne::Section) {
            completer();
            section = l.nom;
            sauter = remplaces.contains(section);
            if (!sauter)
                copier(brut);
            else if (tenus.contains(section) && !complets.contains(section))
                ecrireGroupe(section, ligne);
        } else if (!sauter && l.sorte != Ligne::Cle) {
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
            if (texte.isNull() || (decoder(l.valeur, &lu) && desechapper(lu) == texte)) {
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
