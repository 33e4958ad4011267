#include "sondebus.h"

#include "lignedecommande.h"
#include "prise.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_UNIX
// A live daemon answers in milliseconds; a loaded machine gets a margin, a start stays within seconds.
constexpr int delaiMs = 2000;

/** The socket of the first Unix transport of a D-Bus address, its abstract name starting with '\0'. */
QByteArray socketDe(const QByteArray &adresse)
{
    for (const QByteArray &transport : adresse.split(';')) {
        if (!transport.startsWith("unix:"))
            continue;
        for (const QByteArray &cle : transport.mid(5).split(',')) {
            if (cle.startsWith("path="))
                return QByteArray::fromPercentEncoding(cle.mid(5));
            if (cle.startsWith("abstract="))
                return '\0' + QByteArray::fromPercentEncoding(cle.mid(9));
        }
    }
    return {};
}

/** True when the socket takes a connection and says nothing back within the bound: a wedged daemon. */
bool muet(const QByteArray &chemin)
{
    sockaddr_un adresse;
    socklen_t taille;
    const int fd = adressePrise(chemin, &adresse, &taille)
        ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)
        : -1;
    if (fd < 0)
        return false;
    QElapsedTimer chrono;
    chrono.start();
    // A full backlog makes a Unix connect wait (EAGAIN); a refused or missing socket is Qt's to report.
    bool reponse = ::connect(fd, reinterpret_cast<sockaddr *>(&adresse), taille) != 0 && errno != EINPROGRESS
        && errno != EAGAIN;
    if (!reponse) {
        attendrePrise(fd, POLLOUT, chrono, delaiMs);
        // Any line back, even a refusal, shows a daemon that reads its socket.
        const QByteArray uid = QByteArray::number(qulonglong(geteuid())).toHex();
        const QByteArray demande = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
        reponse = send(fd, demande.constData(), size_t(demande.size()), MSG_NOSIGNAL) == demande.size()
            && attendrePrise(fd, POLLIN, chrono, delaiMs);
    }
    close(fd);
    return !reponse;
}
#endif
} // namespace

void sonderBusSession()
{
#ifdef Q_OS_UNIX
    QByteArray adresse = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QByteArray chemin = socketDe(adresse);
    // With no address, D-Bus looks for the session's socket in the runtime folder.
    if (adresse.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        chemin = qgetenv("XDG_RUNTIME_DIR") + "/bus";
    if (chemin.isEmpty())
        return;
    QElapsedTimer chrono;
    chrono.start();
    if (!muet(chemin))
        return;
    qCWarning(lcDemarrage) << "the D-Bus session bus did not answer within" << chrono.elapsed()
                           << "ms; running without D-Bus (tray icon through XEmbed, no D-Bus desktop)";
    // An address with no known transport makes every D-Bus client, Qt's and GIO's, fail at once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
#endif
}
