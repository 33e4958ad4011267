#include "bureau.h"

#include <QFileInfo>
#include <QImageReader>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <time.h>
#endif

Q_LOGGING_CATEGORY(lcBureau, "papirol2.bureau", QtCriticalMsg)

namespace {
std::unique_ptr<Bureau> &instance()
{
    static std::unique_ptr<Bureau> courant;
    return courant;
}
} // namespace

Bureau::~Bureau() = default;

quint32 Bureau::compteur() const
{
    return compteurPlateforme();
}

bool Bureau::attendre(int)
{
    return true;
}

Bureau &bureau()
{
    auto &courant = instance();
    if (!courant)
        courant = creerBureau();
    return *courant;
}

void installerBureau(std::unique_ptr<Bureau> nouveau)
{
    instance() = std::move(nouveau);
}

bool fichierLisible(const QString &chemin)
{
    const QFileInfo fichier(chemin);
    if (fichier.isFile() && fichier.isReadable())
        return true;
    qCWarning(lcBureau) << "wallpaper not changed:" << chemin
                        << (fichier.exists() ? "is not a readable file" : "does not exist");
    return false;
}

bool imageDecodable(const QString &chemin)
{
    if (QImageReader(chemin).canRead())
        return true;
    qCWarning(lcBureau) << "wallpaper not changed:" << chemin << "is not a readable picture";
    return false;
}

bool imageAcceptable(const QString &chemin, bool decodable)
{
    // A regular file first: opening a named pipe to decode it would wait for a writer.
    return fichierLisible(chemin) && (!decodable || imageDecodable(chemin));
}

void Bureau::appliquerFondEcran(const QString &chemin)
{
    if (imageAcceptable(chemin, exigeDecodable()))
        remettre(chemin);
}

quint32 compteurPlateforme()
{
#ifdef Q_OS_WIN
    LARGE_INTEGER valeur;
    QueryPerformanceCounter(&valeur);
    return static_cast<quint32>(valeur.QuadPart);
#else
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<quint32>(static_cast<quint64>(ts.tv_sec) * 1000000000ull
                                + static_cast<quint64>(ts.tv_nsec));
#endif
}
