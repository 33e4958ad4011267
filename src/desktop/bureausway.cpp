#include "bureausway.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const char magie[] = "i3-ipc";
constexpr int tailleEntete = 6 + 2 * sizeof(qint32);
constexpr qint32 runCommand = 0;
constexpr int delaiMs = 5000;
const char *const modes[] = {nullptr, "center", "tile", "stretch", "fit", "fill"};

// sway hands the path to wordexp(), which runs $(...) and expands $VAR, globs and quotes: every byte
// that could mean something there is escaped. '$' goes in single quotes, since sway's own variable
// substitution looks behind a backslash but not into quotes.
QByteArray echapperPourWordexp(const QByteArray &octets)
{
    QByteArray sortie;
    for (const char c : octets) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '/' || c == '.' || c == '_' || c == '-') {
            sortie += c;
        } else if (c == '$') {
            sortie += "'$'";
        } else {
            sortie += '\\';
            sortie += c;
        }
    }
    return sortie;
}

QByteArray message(const QByteArray &charge)
{
    QByteArray m(magie, 6);
    const qint32 longueur = charge.size();
    m.append(reinterpret_cast<const char *>(&longueur), sizeof longueur);
    m.append(reinterpret_cast<const char *>(&runCommand), sizeof runCommand);
    return m + charge;
}

void journaliserReponse(const QByteArray &json)
{
    const QJsonArray resultats = QJsonDocument::fromJson(json).array();
    for (const QJsonValue &r : resultats) {
        if (!r.toObject().value(QLatin1String("success")).toBool())
            qCWarning(lcBureau) << "sway refused the wallpaper:"
                                << r.toObject().value(QLatin1String("error"));
    }
}

// The command that shows the picture in that layout; empty when sway's parser cannot carry the path.
QByteArray commande(const QString &chemin, int position)
{
    // sway turns every line of a message into a command of its own: no quoting can carry a newline.
    if (position < 1 || position > 5 || chemin.contains(QLatin1Char('\n')))
        return {};
    // The escaped path keeps every '"' and '\' paired, so it is one word for sway's quote-aware split.
    return "output * bg \"" + echapperPourWordexp(QFile::encodeName(chemin)) + "\" " + modes[position];
}

} // namespace

BureauSway::BureauSway()
    : socket(qEnvironmentVariable("SWAYSOCK"))
    , magasin(QStringLiteral("sway"))
{
    if (socket.isEmpty())
        qCWarning(lcBureau) << "SWAYSOCK is not set: sway's wallpaper cannot be changed";
}

QString BureauSway::nom() const
{
    return QStringLiteral("sway");
}

void BureauSway::remettre(const QString &chemin)
{
    const int position = lirePosition();
    envoyer(chemin, position ? position : 5);
}

int BureauSway::lirePosition()
{
    return magasin.lirePosition();
}

void BureauSway::enregistrerPosition(int position)
{
    if (!magasin.enregistrerPosition(position))
        return;
    const QString image = magasin.lireImage();
    if (!image.isEmpty() && imageAcceptable(image, exigeDecodable()))
        envoyer(image, position);
}

bool BureauSway::attendre(int msecs)
{
    return attente.attendre(msecs);
}

void BureauSway::envoyer(const QString &chemin, int position)
{
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    const QByteArray texte = commande(absolu, position);
    if (texte.isEmpty()) {
        qCWarning(lcBureau) << "wallpaper not changed: sway cannot be given the path" << absolu;
        return;
    }
    if (socket.isEmpty()) {
        qCWarning(lcBureau) << "wallpaper not changed to" << absolu << ": SWAYSOCK is not set";
        return;
    }
    magasin.enregistrerImage(absolu);
    if (enVol) {
        suivante = message(texte);
        return;
    }
    attente.commencer();
    lancer(message(texte));
}

void BureauSway::lancer(const QByteArray &envoi)
{
    enVol = true;
    // A plain Unix socket: Qt's local socket would load Qt Network, and Kerberos with it, in every session.
    struct Echange
    {
        int fd = -1;
        QByteArray aEcrire;
        QByteArray recu;
        bool termine = false;
    };
    auto echange = std::make_shared<Echange>();
    echange->aEcrire = envoi;
    auto *porteur = new QObject(&attente);
    const auto finir = [this, echange, porteur](const QString &probleme) {
        if (echange->termine)
            return;
        echange->termine = true;
        if (!probleme.isEmpty())
            qCWarning(lcBureau) << "sway IPC at" << socket << ":" << probleme;
        // Called from a notifier's own signal: the notifiers are silenced now and deleted later.
        for (auto *notificateur : porteur->findChildren<QSocketNotifier *>())
            notificateur->setEnabled(false);
        porteur->deleteLater();
        if (echange->fd >= 0)
            ::close(echange->fd);
        enVol = false;
        if (suivante) {
            const QByteArray prochaine = *suivante;
            suivante.reset();
            lancer(prochaine);
        } else {
            attente.terminer();
        }
    };
    const auto erreur = [] {
        return QString::fromLocal8Bit(strerror(errno));
    };

    const QByteArray nomFichier = QFile::encodeName(socket);
    sockaddr_un adresse {};
    adresse.sun_family = AF_UNIX;
    if (nomFichier.size() >= int(sizeof adresse.sun_path))
        return finir(QStringLiteral("socket path too long"));
    memcpy(adresse.sun_path, nomFichier.constData(), nomFichier.size());
    echange->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (echange->fd < 0)
        return finir(erreur());
    if (::connect(echange->fd, reinterpret_cast<const sockaddr *>(&adresse), sizeof adresse) != 0
        && errno != EINPROGRESS)
        return finir(erreur());

    auto *ecriture = new QSocketNotifier(echange->fd, QSocketNotifier::Write, porteur);
    auto *lecture = new QSocketNotifier(echange->fd, QSocketNotifier::Read, porteur);
    auto *delai = new QTimer(porteur);
    QObject::connect(ecriture, &QSocketNotifier::activated, porteur, [echange, ecriture, finir, erreur] {
        const ssize_t n
            = ::send(echange->fd, echange->aEcrire.constData(), echange->aEcrire.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return finir(erreur());
        echange->aEcrire.remove(0, qMax<ssize_t>(n, 0));
        if (echange->aEcrire.isEmpty())
            ecriture->setEnabled(false);
    });
    QObject::connect(lecture, &QSocketNotifier::activated, porteur, [echange, finir, erreur] {
        char morceau[4096];
        const ssize_t n = ::recv(echange->fd, morceau, sizeof morceau, 0);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR ? void() : finir(erreur());
        if (n == 0)
            return finir(QStringLiteral("sway closed the connection"));
        QByteArray &recu = echange->recu;
        recu.append(morceau, n);
        if (recu.size() < tailleEntete)
            return;
        qint32 longueur = 0;
        memcpy(&longueur, recu.constData() + 6, sizeof longueur);
        if (!recu.startsWith(magie) || longueur < 0)
            return finir(QStringLiteral("unexpected reply"));
        if (recu.size() < tailleEntete + longueur)
            return;
        journaliserReponse(recu.mid(tailleEntete, longueur));
        finir(QString());
    });
    QObject::connect(delai, &QTimer::timeout, porteur,
                     [finir] { finir(QStringLiteral("no reply in time")); });
    delai->setSingleShot(true);
    delai->start(delaiMs);
}
