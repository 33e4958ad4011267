#include "bureau.h"
#include "bureaunul.h"

#if defined(Q_OS_WIN)
#include "bureauwindows.h"
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include "bureaux11.h"
#endif

#include <QByteArray>

std::unique_ptr<Bureau> creerBureau()
{
    const QString force = QString::fromLocal8Bit(qgetenv("PAPIROL2_BUREAU")).trimmed().toLower();
    std::unique_ptr<Bureau> choisi;
#if defined(Q_OS_WIN)
    if (force.isEmpty() || force == QLatin1String("windows"))
        choisi = std::make_unique<BureauWindows>();
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (force == QLatin1String("x11") || (force.isEmpty() && !qEnvironmentVariableIsEmpty("DISPLAY")))
        choisi = std::make_unique<BureauX11>();
#endif
    if (!choisi) {
        const QString raison = force.isEmpty() ? QStringLiteral("no supported desktop was found in this session")
                                               : QStringLiteral("PAPIROL2_BUREAU=%1 names no backend here").arg(force);
        if (force != QLatin1String("nul"))
            qCWarning(lcBureau) << raison;
        choisi = std::make_unique<BureauNul>(force == QLatin1String("nul") ? QStringLiteral("PAPIROL2_BUREAU=nul")
                                                                            : raison);
    }
    qCInfo(lcBureau) << "desktop backend:" << choisi->nom();
    return choisi;
}
