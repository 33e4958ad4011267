#include "bureau.h"
#include "bureaunul.h"

#if defined(Q_OS_WIN)
#include "windows/bureauwindows.h"
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include "detection.h"
#include "wayland/bureaucalque.h"
#include "wayland/bureausway.h"
#include "x11/bureaux11.h"
#ifdef PAPIROL2_AVEC_GIO
#include "gio/bureaugsettings.h"
#endif
#ifdef PAPIROL2_AVEC_DBUS
#include "dbus/bureaukde.h"
#include "dbus/bureaulxqt.h"
#include "dbus/bureauxfce.h"
#endif
#endif

#include <QByteArray>

namespace {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// Null when this build lacks what the backend needs.
std::unique_ptr<Bureau> construire(const QString &nom)
{
    if (nom == QLatin1String("x11"))
        return std::make_unique<BureauX11>();
    if (nom == QLatin1String("sway"))
        return std::make_unique<BureauSway>();
    if (nom == QLatin1String("calque"))
        return std::make_unique<BureauCalque>();
#ifdef PAPIROL2_AVEC_GIO
    if (nom == QLatin1String("gnome"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Gnome);
    if (nom == QLatin1String("cinnamon"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Cinnamon);
    if (nom == QLatin1String("mate"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Mate);
#endif
#ifdef PAPIROL2_AVEC_DBUS
    if (nom == QLatin1String("xfce"))
        return std::make_unique<BureauXfce>();
    if (nom == QLatin1String("kde"))
        return std::make_unique<BureauKde>();
    if (nom == QLatin1String("lxqt"))
        return std::make_unique<BureauLxqt>();
#endif
    return nullptr;
}
#endif
} // namespace

std::unique_ptr<Bureau> creerBureau()
{
    std::unique_ptr<Bureau> choisi;
#if defined(Q_OS_WIN)
    const QString force = QString::fromLocal8Bit(qgetenv("PAPIROL2_BUREAU")).trimmed().toLower();
    const bool voulu = force == QLatin1String("nul");
    const bool windows = force.isEmpty() || force == QLatin1String("windows");
    const QString raison = voulu ? QStringLiteral("PAPIROL2_BUREAU=nul")
        : windows                ? QStringLiteral("this is Windows")
                                 : QStringLiteral("PAPIROL2_BUREAU=%1 names no backend here").arg(force);
    if (windows)
        choisi = std::make_unique<BureauWindows>();
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const ChoixBureau choix = detecterBureau(QProcessEnvironment::systemEnvironment());
    QString raison = choix.raison;
    if (choix.nom != QLatin1String("nul")) {
        choisi = construire(choix.nom);
        if (!choisi)
            raison = QStringLiteral("this build has no %1 backend (%2)").arg(choix.nom, choix.raison);
    }
    const bool voulu = choix.raison == QLatin1String("PAPIROL2_BUREAU=nul");
#else
    const QString raison = QStringLiteral("no supported desktop was found in this session");
    const bool voulu = false;
#endif
    if (!choisi) {
        if (!voulu)
            qCWarning(lcBureau) << raison;
        choisi = std::make_unique<BureauNul>(raison);
    } else {
        qCInfo(lcBureau) << "chosen because" << raison;
    }
    qCInfo(lcBureau) << "desktop backend:" << choisi->nom();
    return choisi;
}
