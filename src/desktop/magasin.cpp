#include "magasin.h"
#include "bureau.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
const QString clePosition = QStringLiteral("Position");
const QString cleImage = QStringLiteral("Image");

void signalerErreur(const QSettings &magasin, const char *action)
{
    if (magasin.status() != QSettings::NoError)
        qCWarning(lcBureau) << "cannot" << action << magasin.fileName() << magasin.status();
}
} // namespace

Magasin::Magasin(const QString &nomBureau)
    : fichier(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
              + QStringLiteral("/papirol2/bureau-%1.ini").arg(nomBureau))
{
}

int Magasin::lirePosition() const
{
    const QSettings magasin(fichier, QSettings::IniFormat);
    signalerErreur(magasin, "read");
    const int position = magasin.value(clePosition).toInt();
    return position >= 1 && position <= 5 ? position : 0;
}

void Magasin::enregistrerPosition(int position)
{
    if (position < 1 || position > 5)
        return;
    QSettings magasin(fichier, QSettings::IniFormat);
    magasin.setValue(clePosition, position);
    magasin.sync();
    signalerErreur(magasin, "write");
}

QString Magasin::lireImage() const
{
    const QSettings magasin(fichier, QSettings::IniFormat);
    signalerErreur(magasin, "read");
    return magasin.value(cleImage).toString();
}

void Magasin::enregistrerImage(const QString &chemin)
{
    QSettings magasin(fichier, QSettings::IniFormat);
    magasin.setValue(cleImage, chemin);
    magasin.sync();
    signalerErreur(magasin, "write");
}
