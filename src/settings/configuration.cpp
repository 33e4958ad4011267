#include "configuration.h"

#include "commun/chemins.h"
#include "desktop/bureau.h"
#include "fichierini.h"

#include <QLoggingCategory>
#include <QSettings>
#include <QVariant>

#include <algorithm>

Q_LOGGING_CATEGORY(lcConfiguration, "papirol2.configuration", QtCriticalMsg)

namespace {
FichierIni *parametres = nullptr;
// How many EcritureGroupee are alive: while any is, writes wait for the last one to end.
int ecrituresRetenues = 0;

const QString options = QStringLiteral("Options");
const QString prefixe = QStringLiteral("Emplacement_");

FichierIni &config()
{
    if (!parametres)
        ouvrirConfiguration();
    return *parametres;
}

QString groupe(int n)
{
    return prefixe + QString::number(n, 10);
}

// Only names the program writes: "Emplacement_07" is left alone rather than taken for group 7.
int numero(const QString &nom)
{
    if (!nom.startsWith(prefixe))
        return -1;
    const QStringView chiffres = QStringView(nom).mid(prefixe.size());
    bool ok = false;
    const int n = chiffres.toInt(&ok);
    // Digits alone: a sign, a blank or a leading zero makes another group's name.
    return ok && n >= 0 && chiffres.front().isDigit() && chiffres.back().isDigit()
            && (chiffres.size() == 1 || chiffres.front() != u'0')
        ? n
        : -1;
}

// The keys the program reads; every other line of the file is left as it is, and not held in memory.
bool gardee(const QString &g, const QString &cle)
{
    if (g == options)
        return cle == QLatin1String("active") || cle == QLatin1String("timer");
    return (cle == QLatin1String("path") || cle == QLatin1String("filtre")
            || cle == QLatin1String("selected"))
        && numero(g) >= 0;
}

QVariant lire(const QString &g, const char *cle)
{
    const QString texte = config().valeur(g, QLatin1String(cle));
    return texte.isNull() ? QVariant() : QVariant(texte);
}

// A value that reads back as the one to write is not written again: a start with nothing changed leaves the
// file as it was, byte for byte.
void changer(const QString &g, const char *cle, const QVariant &valeur)
{
    QVariant stocke = lire(g, cle);
    if (!stocke.isValid() || !stocke.convert(valeur.metaType()) || stocke != valeur)
        config().changer(g, QLatin1String(cle), valeur.toString());
}

void ecrire()
{
    if (ecrituresRetenues > 0)
        return;
    if (!config().enregistrer())
        qCWarning(lcConfiguration) << "could not write" << config().chemin();
}

} // namespace

void ouvrirConfiguration()
{
    delete parametres;
    parametres = new FichierIni(cheminReglages(), gardee);
    if (!parametres->illisible().isEmpty())
        qCWarning(lcConfiguration) << parametres->chemin()
                                   << "is not a settings file:" << parametres->illisible()
                                   << "; the program runs on defaults and never writes it";
}

void enregistrerActif(bool actif)
{
    changer(options, "active", actif);
    ecrire();
}

bool lireActif()
{
    return lire(options, "active").toBool();
}

void enregistrerTimer(int secondes)
{
    changer(options, "timer", secondes);
    ecrire();
}

int lireTimer()
{
    bool ok = false;
    const int secondes = lire(options, "timer").toInt(&ok);
    return ok && secondes >= 1 && secondes <= intervalleMaximum ? secondes : intervalleParDefaut;
}

void enregistrerEmplacement(int n, const QString &chemin, const QString &filtre, bool selectionne)
{
    changer(groupe(n), "path", chemin);
    changer(groupe(n), "filtre", filtre);
    changer(groupe(n), "selected", selectionne);
    ecrire();
}

QString lireChemin(int n)
{
    return lire(groupe(n), "path").toString();
}

QString lireFiltre(int n)
{
    return lire(groupe(n), "filtre").toString();
}

bool lireSelection(int n)
{
    return lire(groupe(n), "selected").toBool();
}

void supprimerEmplacementConfig(int n)
{
    config().supprimerGroupe(groupe(n));
    ecrire();
}

QList<int> lireNumerosEmplacements()
{
    QList<int> numeros;
    for (const QString &nom : config().groupes()) {
        if (numero(nom) >= 0)
            numeros.append(numero(nom));
    }
    std::sort(numeros.begin(), numeros.end());
    return numeros;
}

EcritureGroupee::EcritureGroupee()
{
    ++ecrituresRetenues;
}

EcritureGroupee::~EcritureGroupee()
{
    if (--ecrituresRetenues == 0)
        ecrire();
}

void enregistrerPosition(int position)
{
    if (const std::optional<Disposition> disposition = dispositionDeNumero(position))
        bureau().enregistrerDisposition(*disposition);
}

int lirePosition()
{
    const std::optional<Disposition> disposition = bureau().lireDisposition();
    return disposition ? numeroDe(*disposition) : 0;
}

void enregistrerParEcran(bool parEcran)
{
    QSettings memoire(cheminRotation(), QSettings::IniFormat);
    memoire.setValue(QStringLiteral("parEcran"), parEcran);
    memoire.sync();
    if (memoire.status() != QSettings::NoError)
        qCWarning(lcConfiguration) << "could not write" << memoire.fileName();
}

bool lireParEcran()
{
    return QSettings(cheminRotation(), QSettings::IniFormat).value(QStringLiteral("parEcran")).toBool();
}
