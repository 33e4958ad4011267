#include "affichage.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// A platform named on purpose (offscreen, say) needs no display.
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

#ifdef Q_OS_UNIX
// Where stderr went before the application object was begun, and where it goes meanwhile.
int stderrOriginal = -1;
FILE *stderrRetenu = nullptr;
#endif

void rendreStderr()
{
#ifdef Q_OS_UNIX
    if (stderrOriginal < 0)
        return;
    fflush(stderr);
    dup2(stderrOriginal, STDERR_FILENO);
    close(stderrOriginal);
    stderrOriginal = -1;
#endif
}

[[noreturn]] void sansSession()
{
    rendreStderr();
    fputs("papirol2 : aucune session graphique trouvée (ni DISPLAY ni WAYLAND_DISPLAY utilisable).\n",
          stderr);
    fflush(stderr);
    // From inside the half-built application object: nothing of it may be torn down.
    std::_Exit(1);
}

QtMessageHandler precedent = nullptr;

void surMessage(QtMsgType type, const QMessageLogContext &contexte, const QString &texte)
{
    if (type == QtFatalMsg)
        sansSession();
    precedent(type, contexte, texte);
}
} // namespace

GardeAffichage::GardeAffichage(int argc, char *argv[])
{
    if (!sessionGraphique(argc, argv))
        sansSession();
#ifdef Q_OS_UNIX
    // What Qt and the display's libraries print on the way to a failure (Xlib's own refusal line among it)
    // waits for the outcome: dropped if the display cannot be opened, passed on if it can.
    fflush(stderr);
    stderrRetenu = tmpfile();
    stderrOriginal = stderrRetenu ? dup(STDERR_FILENO) : -1;
    if (stderrOriginal >= 0)
        dup2(fileno(stderrRetenu), STDERR_FILENO);
#endif
    precedent = qInstallMessageHandler(surMessage);
    active = true;
}

GardeAffichage::~GardeAffichage()
{
    fin();
}

void GardeAffichage::fin()
{
    if (!active)
        return;
    active = false;
    qInstallMessageHandler(precedent);
    rendreStderr();
#ifdef Q_OS_UNIX
    if (stderrRetenu) {
        rewind(stderrRetenu);
        char tampon[4096];
        size_t n;
        while ((n = fread(tampon, 1, sizeof tampon, stderrRetenu)) > 0)
            fwrite(tampon, 1, n, stderr);
        fclose(stderrRetenu);
        stderrRetenu = nullptr;
    }
#endif
}
