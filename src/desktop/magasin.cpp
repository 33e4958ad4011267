#include "magasin.h"
#include "bureau.h"
#include "styleposition.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
// The layout is kept as the pair of strings that stands for it on Windows, as everywhere else.
const QString cleStyle = QStringLiteral("WallpaperStyle");
const QString cleTuile = QStringLiteral("TileWallpaper");
const QString cleImage = QStringLiteral("Wallpaper");

bool signalerErreur(const QSettings &magasin, const char *action)
{
    if (magasin.status() == QSettings::NoError)
        return false;
    qCWarning(lcBureau) << "cannot" << action << magasin.fileName() << magasin.status();
    return true;
}
} // namespace

Magasin::Magasin(const QString &nomBureau)
    : fichier(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
              + QStringLiteral("/papirol2/bureau-%1.ini").arg(nomBureau))
{
}

int Magasin::lirePosition() const
{
    if (const int position = nonEnregistree)
        return position;
    const QSettings magasin(fichier, QSettings::IniFormat);
    if (magasin.status() != QSettings::NoError) {
        signalerErreur(magasin, "read");
        return 0;
    }
    return positionDeStyle(magasin.value(cleStyle).toString(), magasin.value(cleTuile).toString());
}

bool Magasin::enregistrerPosition(int position)
{
    StylePapierPeint style;
    if (!styleDePosition(position, &style))
        return false;
    QSettings magasin(fichier, QSettings::IniFormat);
    magasin.setValue(cleStyle, style.style);
    magasin.setValue(cleTuile, style.tuile);
    magasin.sync();
    // A read-only or missing home must not undo the user's choice for the rest of this run.
    nonEnregistree = signalerErreur(magasin, "write") ? position : 0;
    return true;
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
    // Writing syncs the file to disk: not worth it when the same picture is shown again.
    if (magasin.value(cleImage).toString() == chemin)
        return;
    magasin.setValue(cleImage, chemin);
    magasin.sync();
    signalerErreur(magasin, "write");
}
