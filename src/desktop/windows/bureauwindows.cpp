#include "bureauwindows.h"

#include "desktop/image/rendu.h"
#include "settings/styleposition.h"

#include <QDir>
#include <QSettings>

#include <algorithm>

#include <windows.h>

#include <shobjidl.h>

namespace {
const QString cleBureau = QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\Desktop");
const QString cleStyle = QStringLiteral("WallpaperStyle");
const QString cleTuile = QStringLiteral("TileWallpaper");
// Windows' "span": one picture over the rectangle that holds every monitor.
const StylePapierPeint etale {QStringLiteral("22"), QStringLiteral("0")};
constexpr TableDispositions<DESKTOP_WALLPAPER_POSITION> positions {DWPOS_CENTER, DWPOS_TILE, DWPOS_STRETCH,
                                                                   DWPOS_FIT, DWPOS_FILL};

const wchar_t *natif(const QString &chemin)
{
    return reinterpret_cast<const wchar_t *>(chemin.utf16());
}

bool appliquer(const wchar_t *chemin)
{
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t *>(chemin),
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

QString lireStyle()
{
    return QSettings(cleBureau, QSettings::NativeFormat).value(cleStyle).toString();
}

void ecrireStyle(const StylePapierPeint &style)
{
    QSettings registre(cleBureau, QSettings::NativeFormat);
    registre.setValue(cleStyle, style.style);
    registre.setValue(cleTuile, style.tuile);
    registre.sync();
}

QRect rectangle(const RECT &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

BOOL CALLBACK ajouterEcran(HMONITOR ecran, HDC, LPRECT, LPARAM liste)
{
    MONITORINFOEXW info {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(ecran, &info)) {
        auto &ecrans = *reinterpret_cast<QList<Bureau::Ecran> *>(liste);
        const bool principal = info.dwFlags & MONITORINFOF_PRIMARY;
        ecrans.insert(principal ? 0 : ecrans.size(),
                      {QString::fromWCharArray(info.szDevice), rectangle(info.rcMonitor), principal});
    }
    return TRUE;
}

/** Each monitor its picture through the shell; false where the shell does not offer it (Wine) or a monitor
 * of ours is not one of its. */
bool montrerParDesktopWallpaper(const QList<QPair<QRect, QString>> &places, Disposition disposition)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    IDesktopWallpaper *fond = nullptr;
    HRESULT r = CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&fond));
    UINT nombre = 0;
    if (SUCCEEDED(r))
        r = fond->GetMonitorDevicePathCount(&nombre);
    // The shell counts monitors that are not attached too: they have no rectangle.
    QList<QPair<QRect, QString>> identifiants;
    for (UINT i = 0; SUCCEEDED(r) && i < nombre; ++i) {
        LPWSTR id = nullptr;
        RECT rect {};
        if (SUCCEEDED(fond->GetMonitorDevicePathAt(i, &id)) && fond->GetMonitorRECT(id, &rect) == S_OK)
            identifiants.append({rectangle(rect), QString::fromWCharArray(id)});
        CoTaskMemFree(id);
    }
    if (SUCCEEDED(r))
        r = fond->SetPosition(positions[disposition]);
    for (qsizetype i = 0; SUCCEEDED(r) && i < places.size(); ++i) {
        const auto trouve = std::find_if(identifiants.cbegin(), identifiants.cend(),
                                         [&](const auto &m) { return m.first == places[i].first; });
        r = trouve == identifiants.cend()
            ? E_INVALIDARG
            : fond->SetWallpaper(natif(trouve->second), natif(QDir::toNativeSeparators(places[i].second)));
    }
    if (FAILED(r))
        qCInfo(lcBureau) << "no picture per monitor from the shell:" << Qt::hex << quint32(r);
    if (fond)
        fond->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return SUCCEEDED(r);
}
} // namespace

BureauWindows::BureauWindows()
{
    // The spanned picture follows the monitors moved, resized or unplugged; one plugged in gets its picture
    // from the rotation.
    connect(this, &Bureau::ecransChanges, this, [this] {
        if (!chemins.isEmpty() && suivreEcrans(ecrans, chemins))
            montrerEnDisposition(lireDisposition().value_or(dispositionParDefaut), false);
    });
}

void BureauWindows::montrer(const QString &chemin)
{
    chemins.clear();
    ouvrier.planifier(
        [nom = QDir::toNativeSeparators(chemin), avant = magasin.lire()] {
            // Back from a picture spanned over the monitors: the layout they were drawn in.
            if (avant && lireStyle() == etale.style)
                ecrireStyle(styleDeDisposition(*avant));
            if (appliquer(natif(nom)))
                return true;
            qCWarning(lcBureau) << "SystemParametersInfoW refused" << nom << GetLastError();
            return false;
        },
        [this, chemin](bool montree) { signaler(chemin, montree ? Resultat::Montree : Resultat::Refusee); });
}

void BureauWindows::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    if (ecrans.isEmpty())
        return montrer(chemins.value(0));
    this->ecrans = ecrans;
    this->chemins = chemins;
    montrerEnDisposition(lireDisposition().value_or(dispositionParDefaut), true);
}

void BureauWindows::montrerEnDisposition(Disposition disposition, bool signaler)
{
    magasin.enregistrer(disposition);
    ouvrier.planifier(
        [places = places(ecrans, chemins), disposition] {
            if (montrerParDesktopWallpaper(places, disposition))
                return Resultat::Montree;
            // The composed picture's top-left is the virtual screen's, wherever the primary monitor sits.
            const QString rendu = enregistrerRendu(places.first().second, composerEcrans(places, disposition),
                                                   QStringLiteral("ecrans-"));
            if (rendu.isEmpty())
                return Resultat::Refusee;
            ecrireStyle(etale);
            if (appliquer(natif(QDir::toNativeSeparators(rendu))))
                return Resultat::Montree;
            qCWarning(lcBureau) << "SystemParametersInfoW refused" << rendu << GetLastError();
            return Resultat::Refusee;
        },
        [this, chemin = chemins.value(0), signaler](Resultat resultat) {
            if (signaler)
                this->signaler(chemin, resultat);
        });
}

QList<Bureau::Ecran> BureauWindows::lireEcrans() const
{
    // Qt keeps a screen's top-left in Windows' pixels but scales its size down: Windows' own rectangles,
    // which the shell's monitors and the spanned picture are in, on monitors of any scale.
    QList<Ecran> liste;
    EnumDisplayMonitors(nullptr, nullptr, ajouterEcran, reinterpret_cast<LPARAM>(&liste));
    return liste;
}

std::optional<Disposition> BureauWindows::lireDisposition()
{
    QSettings registre(cleBureau, QSettings::NativeFormat);
    const QString style = registre.value(cleStyle).toString();
    // Span is ours while each monitor has its picture: the layout is the one they were drawn in.
    if (style == etale.style)
        return magasin.lire();
    return dispositionDeStyle(style, registre.value(cleTuile).toString());
}

void BureauWindows::enregistrerDisposition(Disposition disposition)
{
    if (!chemins.isEmpty())
        return montrerEnDisposition(disposition, false);
    ecrireStyle(styleDeDisposition(disposition));
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
