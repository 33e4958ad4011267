#include "bureausway.h"
#include "couleursway.h"

#include <QDeadlineTimer>
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
constexpr qint32 getConfig = 9;
constexpr int delaiMs = 5000;

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

QByteArray message(qint32 type, const QByteArray &charge)
{
    QByteArray m(magie, 6);
    const qint32 longueur = charge.size();
    m.append(reinterpret_cast<const char *>(&longueur), sizeof longueur);
    m.append(reinterpret_cast<const char *>(&type), sizeof type);
    return m + charge;
}

// Whether sway carried out every command of the reply; why not in the log.
bool reussie(const QByteArray &json)
{
    const QJsonArray resultats = QJsonDocument::fromJson(json).array();
    bool ok = !resultats.isEmpty();
    for (const QJsonValue &r : resultats) {
        if (r.toObject().value(QLatin1String("success")).toBool())
            continue;
        qCWarning(lcBureau) << "sway refused the wallpaper:" << r.toObject().value(QLatin1String("error"));
        ok = false;
    }
    return ok;
}

// The command that shows the picture in that layout, less the colour around it; empty when sway's parser
// cannot carry the path.
QByteArray commande(const QString &chemin, const QString &mode)
{
    // sway turns every line of a message into a command of its own: no quoting can carry a newline.
    if (chemin.contains(QLatin1Char('\n')))
        return {};
    // The escaped path keeps every '"' and '\' paired, so it is one word for sway's quote-aware split.
    return "output * bg \"" + echapperPourWordexp(QFile::encodeName(chemin)) + "\" " + mode.toLatin1();
}

} // namespace

BureauSway::BureauSway()
    : BureauWayland(QStringLiteral("sway"))
    , socket(qEnvironmentVariable("SWAYSOCK"))
{
    if (socket.isEmpty())
        qCWarning(lcBureau) << "SWAYSOCK is not set: sway's wallpaper cannot be changed";
}

QString BureauSway::nom() const
{
    return QStringLiteral("sway");
}

bool BureauSway::attendre(int msecs)
{
    const QDeadlineTimer limite(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    return attendreVerification(msecs)
        && attente.attendre(limite.isForever() ? -1 : int(limite.remainingTime()));
}

void BureauSway::envoyer(const QString &chemin, Disposition disposition, bool signaler)
{
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    const QByteArray texte = commande(absolu, mode(disposition));
    if (texte.isEmpty()) {
        qCWarning(lcBureau) << "wallpaper not changed: sway cannot be given the path" << absolu;
        if (signaler)
            this->signaler(chemin, Resultat::Refusee);
        return;
    }
    if (socket.isEmpty()) {
        qCWarning(lcBureau) << "wallpaper not changed to" << absolu << ": SWAYSOCK is not set";
        if (signaler)
            this->signaler(chemin, Resultat::Injoignable);
        return;
    }
    // Only these leave part of the screen uncovered: a colour sent with the others would replace a picture
    // gone meanwhile, where sway otherwise keeps the one it shows.
    const bool entouree = disposition == Disposition::Centre || disposition == Disposition::Ajuste;
    const Envoi envoi {texte, chemin, signaler, entouree};
    if (enVol) {
        // The picture waiting is replaced: what it was to report, the newer one reports if it is the same.
        const bool aSignaler = signaler || (suivante && suivante->signaler && suivante->chemin == chemin);
        suivante = Envoi {envoi.commande, chemin, aSignaler, entouree};
        return;
    }
    attente.commencer();
    lancer(envoi);
}

void BureauSway::lancer(const Envoi &envoi)
{
    enVol = true;
    // A plain Unix socket: Qt's local socket would load Qt Network, and Kerberos with it, in every session.
    struct Echange
    {
        int fd = -1;
        QByteArray aEcrire;
        QByteArray recu;
        // Sent once the configuration is read, with its colour.
        QByteArray commande;
        bool termine = false;
    };
    auto echange = std::make_shared<Echange>();
    // sway 1.10 paints black around a centred or fitted picture sent with no colour, whatever its
    // configuration named: the colour is read there and sent along, as earlier sway kept it.
    if (envoi.entouree) {
        echange->aEcrire = message(getConfig, {});
        echange->commande = envoi.commande;
    } else {
        echange->aEcrire = message(runCommand, envoi.commande);
    }
    auto *porteur = new QObject(&attente);
    // An empty problem means sway answered; whether it did what was asked is in accepte.
    const auto finir = [this, echange, porteur, envoi](const QString &probleme, bool accepte = false) {
        if (echange->termine)
            return;
        echange->termine = true;
        if (!probleme.isEmpty())
            qCWarning(lcBureau) << "sway IPC at" << socket << ":" << probleme;
        if (envoi.signaler)
            signaler(envoi.chemin,
                     !probleme.isEmpty() ? Resultat::Injoignable
                         : accepte       ? Resultat::Montree
                                         : Resultat::Refusee);
        // Called from a notifier's own signal: the notifiers are silenced now and deleted later.
        for (auto *notificateur : porteur->findChildren<QSocketNotifier *>())
            notificateur->setEnabled(false);
        porteur->deleteLater();
        if (echange->fd >= 0)
            ::close(echange->fd);
        enVol = false;
        if (suivante) {
            const Envoi prochaine = *suivante;
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
    QObject::connect(lecture, &QSocketNotifier::activated, porteur, [echange, ecriture, finir, erreur] {
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
        const QByteArray reponse = recu.mid(tailleEntete, longueur);
        recu.remove(0, tailleEntete + longueur);
        if (echange->commande.isEmpty())
            return finir(QString(), reussie(reponse));
        echange->aEcrire = message(runCommand, echange->commande + ' ' + lireCouleurSway(reponse));
        echange->commande.clear();
        ecriture->setEnabled(true);
    });
    QObject::connect(delai, &QTimer::timeout, porteur,
                     [finir] { finir(QStringLiteral("no reply in time")); });
    delai->setSingleShot(true);
    delai->start(delaiMs);
}
