#include "bureauwindows.h"
#include "styleposition.h"

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

QString BureauWindows::nom() const
{
    return QStringLiteral("windows");
}

void BureauWindows::remettre(const QString &chemin)
{
    if (!appliquer(reinterpret_cast<const wchar_t *>(chemin.utf16())))
        qCWarning(lcBureau) << "SystemParametersInfoW refused" << chemin << GetLastError();
}

int BureauWindows::lirePosition()
{
    QSettings registre(cleBureau, QSettings::NativeFormat);
    return positionDeStyle(registre.value(QStringLiteral("WallpaperStyle")).toString(),
                           registre.value(QStringLiteral("TileWallpaper")).toString());
}

void BureauWindows::enregistrerPosition(int position)
{
    StylePapierPeint style;
    if (!styleDePosition(position, &style))
        return;
    QSettings registre(cleBureau, QSettings::NativeFormat);
    registre.setValue(QStringLiteral("WallpaperStyle"), style.style);
    registre.setValue(QStringLiteral("TileWallpaper"), style.tuile);
    registre.sync();
    // A null path would revert to the default wallpaper: re-apply the current one instead.
    wchar_t courant[MAX_PATH + 1] = {};
    if (SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, courant, 0) && courant[0] != L'\0')
        appliquer(courant);
}
