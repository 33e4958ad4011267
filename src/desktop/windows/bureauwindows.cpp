#include "bureauwindows.h"

#include "settings/styleposition.h"

#include <QDir>
#include <QSettings>

#include <windows.h>

namespace {
const QString cleBureau = QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\Desktop");

bool appliquer(const wchar_t *chemin)
{
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t *>(chemin),
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}
} // namespace

void BureauWindows::montrer(const QString &chemin)
{
    ouvrier.planifier(
        [natif = QDir::toNativeSeparators(chemin)] {
            if (appliquer(reinterpret_cast<const wchar_t *>(natif.utf16())))
                return true;
            qCWarning(lcBureau) << "SystemParametersInfoW refused" << natif << GetLastError();
            return false;
        },
        [this, chemin](bool montree) { signaler(chemin, montree ? Resultat::Montree : Resultat::Refusee); });
}

std::optional<Disposition> BureauWindows::lireDisposition()
{
    QSettings registre(cleBureau, QSettings::NativeFormat);
    return dispositionDeStyle(registre.value(QStringLiteral("WallpaperStyle")).toString(),
                              registre.value(QStringLiteral("TileWallpaper")).toString());
}

void BureauWindows::enregistrerDisposition(Disposition disposition)
{
    const StylePapierPeint style = styleDeDisposition(disposition);
    QSettings registre(cleBureau, QSettings::NativeFormat);
    registre.setValue(QStringLiteral("WallpaperStyle"), style.style);
    registre.setValue(QStringLiteral("TileWallpaper"), style.tuile);
    registre.sync();
    // A null path would revert to the default wallpaper: re-apply the current one instead.
    wchar_t courant[MAX_PATH + 1] = {};
    if (SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, courant, 0) && courant[0] != L'\0')
        appliquer(courant);
}

std::unique_ptr<Bureau> bureauDeSession(QString &raison, bool &voulu)
{
    const QString force = QString::fromLocal8Bit(qgetenv("PAPIROL2_BUREAU")).trimmed().toLower();
    voulu = force == QLatin1String("nul");
    const bool windows = force.isEmpty() || force == QLatin1String("windows");
    raison = voulu ? QStringLiteral("PAPIROL2_BUREAU=nul")
        : windows  ? QStringLiteral("this is Windows")
                   : QStringLiteral("PAPIROL2_BUREAU=%1 names no backend here").arg(force);
    return windows ? std::make_unique<BureauWindows>() : nullptr;
}
