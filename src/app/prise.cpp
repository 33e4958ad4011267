#include "prise.h"

#ifdef Q_OS_UNIX
#include <QElapsedTimer>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>

bool adressePrise(const QByteArray &chemin, sockaddr_un *adresse, socklen_t *taille)
{
    *adresse = {};
    adresse->sun_family = AF_UNIX;
    if (chemin.isEmpty() || chemin.size() >= int(sizeof adresse->sun_path))
        return false;
    memcpy(adresse->sun_path, chemin.constData(), size_t(chemin.size()));
    *taille = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(chemin.size())
                        + (chemin.startsWith('\0') ? 0 : 1));
    return true;
}

bool attendrePrise(int fd, short evenements, const QElapsedTimer &chrono, int delaiMs)
{
    pollfd p {fd, evenements, 0};
    for (;;) {
        const qint64 reste = delaiMs - chrono.elapsed();
        if (reste <= 0)
            return false;
        const int n = poll(&p, 1, int(reste));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}
#endif
