#include "signaux.h"

#include "lignedecommande.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
int tube[2] = {-1, -1};

#ifdef Q_OS_UNIX
void surSignal(int numero)
{
    const int erreur = errno;
    const char octet = char(numero);
    // Non-blocking: a pipe already full has a byte to end the program anyway.
    [[maybe_unused]] const ssize_t n = write(tube[1], &octet, 1);
    errno = erreur;
}
#endif
} // namespace

void ArretSurSignal::preparer()
{
#ifdef Q_OS_UNIX
    if (pipe2(tube, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcDemarrage) << "no pipe for the signals; SIGTERM ends the program abruptly";
        return;
    }
    struct sigaction action
    {
    };
    action.sa_handler = surSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int numero : {SIGTERM, SIGHUP, SIGINT})
        sigaction(numero, &action, nullptr);
#endif
}

ArretSurSignal::ArretSurSignal()
{
    if (tube[0] < 0)
        return;
    notificateur = new QSocketNotifier(tube[0], QSocketNotifier::Read, this);
    connect(notificateur, &QSocketNotifier::activated, this, [] {
#ifdef Q_OS_UNIX
        char octet = 0;
        while (read(tube[0], &octet, 1) == 1)
            qCInfo(lcDemarrage) << "signal" << int(octet) << "received; quitting";
#endif
        QCoreApplication::quit();
    });
}
