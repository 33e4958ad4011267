#include "affichage.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
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

GardeAffichage::GardeAffichage()
{
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
