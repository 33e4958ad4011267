#include "configuration.h"

#include "desktop/bureau.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QTextStream>

#include <algorithm>

Q_LOGGING_CATEGORY(lcConfiguration, "papirol2.configuration", QtCriticalMsg)

namespace {
QSettings *parametres = nullptr;
// How many EcritureGroupee are alive: while any is, writes wait for the last one to end.
int ecrituresRetenues = 0;

QSettings &config()
{
    if (!parametres)
        ouvrirConfiguration();
    return *parametres;
}

QString groupe(int n)
{
    return QLatin1String("Emplacement_") + QString::number(n, 10);
}

QString cle(int n, const char *nom)
{
    return groupe(n) + QLatin1Char('/') + QLatin1String(nom);
}

void ecrire()
{
    if (ecrituresRetenues > 0)
        return;
    config().sync();
    if (config().status() != QSettings::NoError)
        qCWarning(lcConfiguration) << "could not write" << config().fileName() << config().status();
}

// Qt rewrites the whole file on the first write; a file it could not make sense of is kept aside first,
// so that what the user had is never lost.
void sauverSiIllisible(const QSettings &s)
{
    const bool rienLu = s.allKeys().isEmpty() && QFileInfo(s.fileName()).size() > 0;
    if (s.status() != QSettings::FormatError && !rienLu)
        return;
    const QString copie = s.fileName() + QLatin1String(".illisible");
    QFile::remove(copie);
    if (QFile::copy(s.fileName(), copie))
        qCWarning(lcConfiguration) << s.fileName() << "could not be read; kept as" << copie;
    else
        qCWarning(lcConfiguration) << s.fileName() << "could not be read nor kept aside";
}

// An ini value's text without QSettings' quotes and backslash escapes, its commas left alone.
QString desechapper(const QString &brut)
{
    QString texte;
    for (int i = 0; i < brut.size(); ++i) {
        QChar c = brut.at(i);
        if (c == QLatin1Char('"'))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < brut.size()) {
            c = brut.at(++i);
            const int k = QStringLiteral("ntr").indexOf(c);
            if (k >= 0)
                c = QLatin1Char("\n\t\r"[k]);
        }
        texte.append(c);
    }
    return texte;
}

// QSettings takes an unquoted comma for a list separator; a path or filter written by hand with one is still
// one text, so it is read again from the file as it was written.
QString lireTexte(const QString &groupe, const char *nom)
{
    const QVariant valeur = config().value(groupe + QLatin1Char('/') + QLatin1String(nom), QVariant());
    if (valeur.typeId() != QMetaType::QStringList)
        return valeur.toString();
    QFile f(config().fileName());
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return valeur.toStringList().join(QLatin1Char(','));
    QTextStream flux(&f);
    QString ligne, section, texte;
    while (flux.readLineInto(&ligne)) {
        ligne = ligne.trimmed();
        const int egal = int(ligne.indexOf(QLatin1Char('=')));
        if (ligne.startsWith(QLatin1Char('[')))
            section = ligne.mid(1, ligne.indexOf(QLatin1Char(']')) - 1);
        else if (section == groupe && egal > 0 && ligne.left(egal).trimmed() == QLatin1String(nom))
            texte = desechapper(ligne.mid(egal + 1).trimmed());
    }
    return texte;
}
} // namespace

void ouvrirConfiguration()
{
    delete parametres;
    // Made absolute now so a later change of working directory does not move the file.
    parametres = new QSettings(QDir::current().absoluteFilePath(QStringLiteral("Papirol2.ini")),
                               QSettings::IniFormat);
    sauverSiIllisible(*parametres);
}

void enregistrerActif(bool actif)
{
    config().setValue(QStringLiteral("Options/active"), QVariant(actif));
    ecrire();
}

bool lireActif()
{
    return config().value(QStringLiteral("Options/active"), QVariant()).toBool();
}

void enregistrerTimer(int secondes)
{
    config().setValue(QStringLiteral("Options/timer"), QVariant(secondes));
    ecrire();
}

int lireTimer()
{
    bool ok = false;
    const int secondes = config().value(QStringLiteral("Options/timer"), QVariant()).toInt(&ok);
    return ok && secondes >= 1 && secondes <= intervalleMaximum ? secondes : intervalleParDefaut;
}

void enregistrerEmplacement(int n, const QString &chemin, const QString &filtre, bool selectionne)
{
    config().setValue(cle(n, "path"), QVariant(chemin));
    config().setValue(cle(n, "filtre"), QVariant(filtre));
    config().setValue(cle(n, "selected"), QVariant(selectionne));
    ecrire();
}

QString lireChemin(int n)
{
    return lireTexte(groupe(n), "path");
}

QString lireFiltre(int n)
{
    return lireTexte(groupe(n), "filtre");
}

bool lireSelection(int n)
{
    return config().value(cle(n, "selected"), QVariant()).toBool();
}

void supprimerEmplacementConfig(int n)
{
    config().remove(groupe(n));
    ecrire();
}

QList<int> lireNumerosEmplacements()
{
    const QString prefixe = QStringLiteral("Emplacement_");
    QList<int> numeros;
    for (const QString &nom : config().childGroups()) {
        if (!nom.startsWith(prefixe))
            continue;
        bool ok = false;
        const int n = QStringView(nom).mid(prefixe.size()).toInt(&ok, 10);
        // Only names the program writes: "Emplacement_07" is left alone rather than taken for group 7.
        if (ok && n >= 0 && groupe(n) == nom)
            numeros.append(n);
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
