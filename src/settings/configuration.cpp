#include "configuration.h"

#include "desktop/bureau.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>

Q_LOGGING_CATEGORY(lcConfiguration, "papirol2.configuration", QtCriticalMsg)

namespace {
QSettings *parametres = nullptr;

QSettings &config()
{
    if (!parametres)
        ouvrirConfiguration();
    return *parametres;
}

QString cle(int n, const char *nom)
{
    QString resultat;
    resultat.append(QLatin1String("Emplacement_"));
    resultat.append(QString::number(n, 10));
    resultat.append(QLatin1Char('/'));
    resultat.append(QLatin1String(nom));
    return resultat;
}

void ecrire()
{
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
    return config().value(QStringLiteral("Options/timer"), QVariant()).toInt();
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
    return config().value(cle(n, "path"), QVariant()).toString();
}

QString lireFiltre(int n)
{
    return config().value(cle(n, "filtre"), QVariant()).toString();
}

bool lireSelection(int n)
{
    return config().value(cle(n, "selected"), QVariant()).toBool();
}

void supprimerEmplacementConfig(int n)
{
    config().remove(QLatin1String("Emplacement_") + QString::number(n, 10));
    ecrire();
}

void enregistrerPosition(int position)
{
    if (position < 1 || position > 5)
        return;
    bureau().enregistrerPosition(position);
}

int lirePosition()
{
    const int position = bureau().lirePosition();
    return position >= 1 && position <= 5 ? position : 0;
}
