#include "magasin.h"
#include "commun/chemins.h"
#include "desktop/bureau.h"
#include "settings/styleposition.h"

#include <QSettings>

namespace {
// The layout is kept as the pair of strings that stands for it on Windows, as everywhere else.
const QString cleStyle = QStringLiteral("WallpaperStyle");
const QString cleTuile = QStringLiteral("TileWallpaper");

bool signalerErreur(const QSettings &magasin, const char *action)
{
    if (magasin.status() == QSettings::NoError)
        return false;
    qCWarning(lcBureau) << "cannot" << action << magasin.fileName() << magasin.status();
    return true;
}
} // namespace

Magasin::Magasin(const QString &nomBureau)
    : fichier(cheminMagasin(nomBureau))
{
}

std::optional<Disposition> Magasin::lire() const
{
    if (const int numero = nonEnregistree)
        return dispositionDeNumero(numero);
    const QSettings magasin(fichier, QSettings::IniFormat);
    if (signalerErreur(magasin, "read"))
        return std::nullopt;
    return dispositionDeStyle(magasin.value(cleStyle).toString(), magasin.value(cleTuile).toString());
}

void Magasin::enregistrer(Disposition disposition)
{
    // QSettings rewrites the file for a value it has already.
    if (!nonEnregistree && lire() == disposition)
        return;
    const StylePapierPeint style = styleDeDisposition(disposition);
    QSettings magasin(fichier, QSettings::IniFormat);
    magasin.setValue(cleStyle, style.style);
    magasin.setValue(cleTuile, style.tuile);
    magasin.sync();
    // A read-only or missing home must not undo the user's choice for the rest of this run.
    nonEnregistree = signalerErreur(magasin, "write") ? numeroDe(disposition) : 0;
}
