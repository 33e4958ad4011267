#include "settings/verrou.h"
#include "ui/papirol2.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QLoggingCategory>
#include <QTranslator>

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcDemarrage, "papirol2.demarrage", QtCriticalMsg)

namespace {
// Without a display Qt aborts with a core dump; a platform named on purpose (offscreen, say) needs none.
bool sessionGraphique(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "-platform") || !strcmp(argv[i], "--platform"))
            return true;
    }
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QString plateformes = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (plateformes.isEmpty())
        return x11 || wayland;
    for (const QString &p : plateformes.split(QLatin1Char(';'))) {
        if (p.startsWith(QLatin1String("xcb"))           ? x11
                : p.startsWith(QLatin1String("wayland")) ? wayland
                                                         : true)
            return true;
    }
    return false;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return true;
#endif
}
} // namespace

int main(int argc, char *argv[])
{
    if (!sessionGraphique(argc, argv)) {
        fputs("papirol2 : aucune session graphique trouvée (ni DISPLAY ni WAYLAND_DISPLAY utilisable).\n",
              stderr);
        return 1;
    }
    QApplication application(argc, argv);
    // Only "Quitter" ends the program: closing a dialog while nothing else is visible must not.
    application.setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("papirol2"));

    QTranslator traducteur;
    if (!traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")))
        qCWarning(lcDemarrage) << "Qt's French catalogue could not be loaded";
    QCoreApplication::installTranslator(&traducteur);

    // One running copy per settings file, the lock named after the ini's absolute path.
    const QString chemin = cheminVerrou(QDir::current().absoluteFilePath(QStringLiteral("Papirol2.ini")));
    QLockFile verrou(chemin);
    verrou.setStaleLockTime(0);
    if (chemin.isEmpty()) {
        qCWarning(lcDemarrage)
            << "no private folder for the lock; starting without checking for another copy";
    } else if (!verrou.tryLock(0)) {
        qCInfo(lcDemarrage) << "already running on this settings file; leaving it alone";
        return 0;
    }

    Papirol2 papirol2;
    return application.exec();
}
