#include "canal.h"

#include "commun/chemins.h"
#include "lignedecommande.h"
#include "prise.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A client has this long to say its word; a silent one is dropped.
constexpr int delaiClientMs = 1000;
constexpr int clientsMax = 16;

bool deCetUtilisateur(int fd)
{
    ucred qui {};
    socklen_t taille = sizeof qui;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &qui, &taille) == 0 && qui.uid == geteuid();
}
} // namespace

Canal::Canal(const QString &chemin)
    : chemin(chemin)
{
    ecouter();
    // A cleaner of the runtime folder may take the socket away, or put something in its place: the folder's
    // own watch (no timer) makes it again.
    connect(&veille, &QFileSystemWatcher::directoryChanged, this, [this] {
        struct stat etat;
        if (stat(QFile::encodeName(this->chemin).constData(), &etat) != 0 || etat.st_ino != inode) {
            qCInfo(lcDemarrage) << "the command socket went; making it again";
            ecouter();
        }
    });
}

void Canal::ecouter()
{
    if (ecoute >= 0) {
        delete findChild<QSocketNotifier *>(QStringLiteral("ecoute"));
        close(ecoute);
        ecoute = -1;
    }
    const QString dossier = dossierExecution();
    if (!dossier.isEmpty())
        veille.addPath(dossier);
    sockaddr_un adresse;
    socklen_t taille;
    if (dossier.isEmpty() || !adressePrise(QFile::encodeName(chemin), &adresse, &taille)) {
        qCWarning(lcDemarrage) << "no command channel: no private folder, or its path is too long" << chemin;
        return;
    }
    ecoute = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // The lock is ours: whatever is there is from a copy that died, or a stray.
    if (unlink(adresse.sun_path) != 0 && errno == EISDIR)
        QDir(chemin).removeRecursively();
    const mode_t masque = umask(0077);
    const bool lie = ecoute >= 0 && bind(ecoute, reinterpret_cast<sockaddr *>(&adresse), taille) == 0
        && listen(ecoute, clientsMax) == 0;
    umask(masque);
    struct stat etat;
    if (!lie || stat(adresse.sun_path, &etat) != 0) {
        qCWarning(lcDemarrage) << "no command channel at" << chemin << strerror(errno);
        if (ecoute >= 0)
            close(ecoute);
        ecoute = -1;
        return;
    }
    inode = etat.st_ino;
    auto *notificateur = new QSocketNotifier(ecoute, QSocketNotifier::Read, this);
    notificateur->setObjectName(QStringLiteral("ecoute"));
    connect(notificateur, &QSocketNotifier::activated, this, &Canal::accepter);
}

Canal::~Canal()
{
    while (!clients.empty())
        fermer(clients.back().fd);
    // attendentLaFin stay open: the kernel closes them once the process is gone, which their clients wait
    // for.
    if (ecoute >= 0) {
        close(ecoute);
        QFile::remove(chemin);
    }
}

void Canal::accepter()
{
    for (;;) {
        const int fd = accept4(ecoute, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (int(clients.size()) >= clientsMax || !deCetUtilisateur(fd)) {
            close(fd);
            continue;
        }
        Client client {fd, new QSocketNotifier(fd, QSocketNotifier::Read, this), new QTimer(this), {}};
        connect(client.notificateur, &QSocketNotifier::activated, this, [this, fd] { lire(fd); });
        client.delai->setSingleShot(true);
        connect(client.delai, &QTimer::timeout, this, [this, fd] {
            qCInfo(lcDemarrage) << "a command client said nothing in time; dropped";
            fermer(fd);
        });
        client.delai->start(delaiClientMs);
        clients.push_back(client);
    }
}

void Canal::lire(int fd)
{
    auto client = std::find_if(clients.begin(), clients.end(), [fd](const Client &c) { return c.fd == fd; });
    if (client == clients.end())
        return;
    char tampon[tailleMax + 1];
    const ssize_t n = read(fd, tampon, sizeof tampon);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0)
        client->recu.append(tampon, int(n));
    const int i = motRecu(client->recu);
    if (!client->recu.contains('\n')) {
        // Junk without a line, or a client gone before its line ended: nothing to answer.
        if (i == -1 || n <= 0)
            fermer(fd);
        return;
    }
    if (i >= 0) {
        const QString mot = QString::fromLatin1(mots[i]);
        qCInfo(lcDemarrage) << "command" << mot;
        const bool fait = executer && executer(mot);
        // Closed when this process ends: the client then knows the copy is gone.
        fermer(fd, fait ? "ok\n" : "non\n", fait && mot == QLatin1String("quitter"));
        return;
    }
    qCInfo(lcDemarrage) << "an unknown command was refused";
    fermer(fd, "?\n");
}

void Canal::fermer(int fd, const QByteArray &reponse, bool garder)
{
    auto client = std::find_if(clients.begin(), clients.end(), [fd](const Client &c) { return c.fd == fd; });
    if (client == clients.end())
        return;
    // A few bytes into an empty socket buffer: this never waits.
    if (!reponse.isEmpty() && send(fd, reponse.constData(), size_t(reponse.size()), MSG_NOSIGNAL) < 0)
        qCInfo(lcDemarrage) << "a command client left before its answer";
    // Called from their own signals: they go once it has returned.
    client->notificateur->setEnabled(false);
    client->notificateur->deleteLater();
    client->delai->stop();
    client->delai->deleteLater();
    if (garder)
        attendentLaFin.push_back(fd);
    else
        close(fd);
    clients.erase(client);
}

int envoyerCommande(const QString &ini, const char *mot)
{
    const QString chemin = cheminCanal(ini);
    // The copy answers between two events; a copy busy for longer than this is as good as stuck.
    constexpr int delaiReponseMs = 10000;
    sockaddr_un adresse;
    socklen_t taille;
    QElapsedTimer chrono;
    chrono.start();
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool connecte = fd >= 0 && adressePrise(QFile::encodeName(chemin), &adresse, &taille);
    // A copy whose backlog is full refuses for now (EAGAIN), not for good; one that holds the lock is
    // making its socket again.
    QLockFile verrou(cheminVerrou(ini));
    bool tenu = false;
    while (connecte && ::connect(fd, reinterpret_cast<sockaddr *>(&adresse), taille) != 0) {
        const bool plein = errno == EAGAIN;
        qint64 pid = 0;
        tenu = verrou.getLockInfo(&pid, nullptr, nullptr) && pid > 0 && kill(pid_t(pid), 0) == 0;
        connecte = (plein || tenu) && chrono.elapsed() < delaiReponseMs;
        if (connecte)
            usleep(20000);
    }
    if (!connecte) {
        if (fd >= 0)
            close(fd);
        dire(stderr, QString::fromUtf8(tenu ? repondPas : aucuneCopie));
        return 1;
    }
    const QByteArray demande = QByteArray(mot) + '\n';
    QByteArray reponse;
    bool ferme = false;
    if (attendrePrise(fd, POLLOUT, chrono, delaiReponseMs)
        && send(fd, demande.constData(), size_t(demande.size()), MSG_NOSIGNAL) == demande.size()) {
        // For "quitter", the copy is gone when it closes the connection.
        const bool jusquALaFin = !strcmp(mot, "quitter");
        while (!ferme && (jusquALaFin || !reponse.contains('\n'))
               && attendrePrise(fd, POLLIN, chrono, delaiReponseMs)) {
            char tampon[64];
            const ssize_t n = read(fd, tampon, sizeof tampon);
            if (n > 0)
                reponse.append(tampon, int(n));
            else
                ferme = n == 0 || (errno != EINTR && errno != EAGAIN);
        }
    }
    close(fd);
    if (reponse.startsWith("ok\n"))
        return 0;
    dire(stderr,
         QString::fromUtf8(reponse.startsWith("?\n")
                               ? "papirol2 : la copie en cours ne connaît pas cette commande."
                               : reponse.startsWith("non\n") ? rienAFaire
                                                             : repondPas));
    return 1;
}
