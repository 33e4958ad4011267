#include "bureausway.h"
#include "couleursway.h"

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

QByteArray message(qint32 type, const QByteArray &charge)
{
    QByteArray m(magie, 6);
    const qint32 longueur = charge.size();
    m.append(reinterpret_cast<const char *>(&longueur), sizeof longueur);
    m.append(reinterpret_cast<const char *>(&type), sizeof type);
    return m + charge;
}

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
    Envoi envoi {texte, chemin, disposition, signaler};
    if (enVol) {
        // The picture waiting is replaced: what it was to report, the newer one reports if it is the same.
        envoi.signaler = signaler || (suivante && suivante->signaler && suivante->chemin == chemin);
        suivante = envoi;
        return;
    }
    lancer(envoi);
}

void BureauSway::lancer(const Envoi &envoi)
{
    enVol = true;
    if (envoi.disposition == Disposition::Centre || envoi.disposition == Disposition::Ajuste) {
        // Around a centred or fitted picture the colour is sway's to paint, from its configuration: the
        // picture goes as it is, in sway's layout. sway 1.10 paints black around it when sent no colour,
        // whatever its configuration named: the colour is read there and sent along, as earlier sway kept
        // it. The covering layouts get none: it would replace a picture gone meanwhile, where sway otherwise
        // keeps the one it shows.
        return demander(getConfig, {}, [this, envoi](const QString &probleme, const QByteArray &reponse) {
            if (!probleme.isEmpty())
                return finir(envoi, probleme);
            commander(envoi, envoi.commande + ' ' + lireCouleurSway(reponse));
        });
    }
    commander(envoi, envoi.commande);
}

void BureauSway::commander(const Envoi &envoi, const QByteArray &commande)
{
    demander(runCommand, commande, [this, envoi](const QString &probleme, const QByteArray &reponse) {
        finir(envoi, probleme, probleme.isEmpty() && reussie(reponse));
    });
}

void BureauSway::finir(const Envoi &envoi, const QString &probleme, bool accepte)
{
    if (!probleme.isEmpty())
        qCWarning(lcBureau) << "sway IPC at" << socket << ":" << probleme;
    if (envoi.signaler)
        signaler(envoi.chemin,
                 !probleme.isEmpty() ? Resultat::Injoignable
                     : accepte       ? Resultat::Montree
                                     : Resultat::Refusee);
    enVol = false;
    if (suivante) {
        const Envoi prochaine = *suivante;
        suivante.reset();
        lancer(prochaine);
    }
}

void BureauSway::demander(qint32 type, const QByteArray &charge, Reponse repondre)
{
    // A plain Unix socket: Qt's local socket would load Qt Network, and Kerberos with it, in every session.
    struct Echange
    {
        int fd = -1;
        QByteArray aEcrire;
        QByteArray recu;
        bool termine = false;
    };
    auto echange = std::make_shared<Echange>();
    echange->aEcrire = message(type, charge);
    auto *porteur = new QObject(this);
    // An empty problem means sway answered.
    const auto conclure
        = [echange, porteur, repondre](const QString &probleme, const QByteArray &reponse = {}) {
              if (echange->termine)
                  return;
              echange->termine = true;
              // Called from a notifier's own signal: the notifiers are silenced now and deleted later.
              for (auto *notificateur : porteur->findChildren<QSocketNotifier *>())
                  notificateur->setEnabled(false);
              porteur->deleteLater();
              if (echange->fd >= 0)
                  ::close(echange->fd);
              repondre(probleme, reponse);
          };
    const auto erreur = [] {
        return QString::fromLocal8Bit(strerror(errno));
    };

    const QByteArray nomFichier = QFile::encodeName(socket);
    sockaddr_un adresse {};
    adresse.sun_family = AF_UNIX;
    if (nomFichier.size() >= int(sizeof adresse.sun_path))
        return conclure(QStringLiteral("socket path too long"));
    memcpy(adresse.sun_path, nomFichier.constData(), nomFichier.size());
    echange->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (echange->fd < 0)
        return conclure(erreur());
    if (::connect(echange->fd, reinterpret_cast<const sockaddr *>(&adresse), sizeof adresse) != 0
        && errno != EINPROGRESS)
        return conclure(erreur());

    auto *ecriture = new QSocketNotifier(echange->fd, QSocketNotifier::Write, porteur);
    auto *lecture = new QSocketNotifier(echange->fd, QSocketNotifier::Read, porteur);
    auto *delai = new QTimer(porteur);
    QObject::connect(ecriture, &QSocketNotifier::activated, porteur, [echange, ecriture, conclure, erreur] {
        const ssize_t n
            = ::send(echange->fd, echange->aEcrire.constData(), echange->aEcrire.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return conclure(erreur());
        echange->aEcrire.remove(0, qMax<ssize_t>(n, 0));
        if (echange->aEcrire.isEmpty())
            ecriture->setEnabled(false);
    });
    QObject::connect(lecture, &QSocketNotifier::activated, porteur, [echange, conclure, erreur] {
        char morceau[4096];
        const ssize_t n = ::recv(echange->fd, morceau, sizeof morceau, 0);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR ? void() : conclure(erreur());
        if (n == 0)
            return conclure(QStringLiteral("sway closed the connection"));
        QByteArray &recu = echange->recu;
        recu.append(morceau, n);
        if (recu.size() < tailleEntete)
            return;
        qint32 longueur = 0;
        memcpy(&longueur, recu.constData() + 6, sizeof longueur);
        if (!recu.startsWith(magie) || longueur < 0)
            return conclure(QStringLiteral("unexpected reply"));
        if (recu.size() < tailleEntete + longueur)
            return;
        conclure(QString(), recu.mid(tailleEntete, longueur));
    });
    QObject::connect(delai, &QTimer::timeout, porteur,
                     [conclure] { conclure(QStringLiteral("no reply in time")); });
    delai->setSingleShot(true);
    delai->start(delaiMs);
}
