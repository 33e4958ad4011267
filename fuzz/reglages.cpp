// The settings reader and writer against a re-read: after writing a location and the interval over any
// file, reading it again gives what was written and everything else as read before; a file that is not
// settings is left byte for byte.
#include "settings/configuration.h"
#include "settings/fichierini.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <cstdlib>
#include <tuple>

namespace {
using Lus = QMap<int, std::tuple<QString, QString, bool>>;

Lus lireTout()
{
    Lus lus;
    for (int n : lireNumerosEmplacements())
        lus[n] = {lireChemin(n), lireFiltre(n), lireSelection(n)};
    return lus;
}

QByteArray contenu()
{
    QFile f(QStringLiteral("Papirol2.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    static QTemporaryDir dossier;
    static const bool pret = QDir::setCurrent(dossier.path());
    const QByteArray texte(reinterpret_cast<const char *>(donnees), qsizetype(taille));
    QFile f(QStringLiteral("Papirol2.ini"));
    if (!pret || !f.open(QIODevice::WriteOnly) || f.write(texte) != texte.size())
        abort();
    f.close();
    const bool illisible = !FichierIni(f.fileName(), [](const QString &, const QString &) { return false; })
                                .illisible()
                                .isEmpty();
    ouvrirConfiguration();
    Lus attendu = lireTout();
    const bool actif = lireActif();
    // A value made of the input's own code units: controls, quotes, lone surrogates.
    const QString valeur
        = QString::fromUtf16(reinterpret_cast<const char16_t *>(donnees), qsizetype(taille / 2));
    const int n = attendu.isEmpty() ? 0 : attendu.lastKey();
    enregistrerEmplacement(n, valeur.left(24), valeur.mid(24, 8), true);
    enregistrerTimer(int(taille % 1000) + 1);
    if (illisible) {
        if (contenu() != texte)
            abort();
        return 0;
    }
    attendu[n] = {valeur.left(24), valeur.mid(24, 8), true};
    ouvrirConfiguration();
    if (lireTout() != attendu || lireActif() != actif || lireTimer() != int(taille % 1000) + 1)
        abort();
    return 0;
}
