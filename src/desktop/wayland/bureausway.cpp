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
constexpr qint32 subscribe = 2;
constexpr qint32 getOutputs = 3;
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
QByteArray commande(const QString &chemin, const QString &mode, const QString &sortie)
{
    // sway turns every line of a message into a command of its own: no quoting can carry a newline.
    if (chemin.contains(QLatin1Char('\n')) || sortie.contains(QLatin1Char('"'))
        || sortie.contains(QLatin1Char('\\')) || sortie.contains(QLatin1Char('\n')))
        return {};
    // The escaped path keeps every '"' and '\' paired, so it is one word for sway's quote-aware split.
    return "output \"" + sortie.toUtf8() + "\" bg \""
        + echapperPourWordexp(QFile::encodeName(QFileInfo(chemin).absoluteFilePath())) + "\" "
        + mode.toLatin1();
}

} // namespace

BureauSway::BureauSway()
    : BureauWayland(QStringLiteral("sway"))
    , socket(qEnvironmentVariable("SWAYSOCK"))
{
    if (socket.isEmpty()) {
        qCWarning(lcBureau) << "SWAYSOCK is not set: sway's wallpaper cannot be changed";
        return;
    }
    // sway 1.7 has no output events; an output plugged in gets a workspace ("init"), one unplugged gives
    // its workspaces away ("move"): the outputs are read again then, and after the subscription's reply.
    demander(
        subscribe, R"(["workspace"])",
        [this](const QString &probleme, const QByteArray &evenement) {
            if (!probleme.isEmpty())
                qCInfo(lcBureau) << "no workspace events from sway:" << probleme;
            const QString quoi
                = QJsonDocument::fromJson(evenement).object().value(QLatin1String("change")).toString();
            if (quoi.isEmpty() || quoi == QLatin1String("init") || quoi == QLatin1String("move"))
                lireSorties();
        },
        true);
}

void BureauSway::lireSorties()
{
    demander(getOutputs, {}, [this](const QString &probleme, const QByteArray &reponse) {
        if (!probleme.isEmpty())
            return;
        QList<Ecran> lues;
        for (const QJsonValue &v : QJsonDocument::fromJson(reponse).array()) {
            const QJsonObject sortie = v.toObject();
            const QJsonObject r = sortie.value(QLatin1String("rect")).toObject();
            // sway has no primary output: the first is taken for it.
            if (sortie.value(QLatin1String("active")).toBool())
                lues.append(
                    {sortie.value(QLatin1String("name")).toString(),
                     QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
                           r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt()),
                     lues.isEmpty()});
        }
        const auto pareil = [](const Ecran &a, const Ecran &b) {
            return a.nom == b.nom && a.geometrie == b.geometrie;
        };
        if (!std::equal(lues.cbegin(), lues.cend(), sorties.cbegin(), sorties.cend(), pareil)) {
            sorties = lues;
            emit ecransChanges();
        }
    });
}

void BureauSway::envoyer(const QString &chemin, Disposition disposition, bool signaler)
{
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    // The primary's picture of a round sends the whole round: a new layout then shows on every output.
    QList<QByteArray> commandes;
    if (!parSortie.isEmpty() && parSortie.first().second == chemin) {
        for (const auto &[sortie, image] : std::as_const(parSortie))
            commandes << commande(image, mode(disposition), sortie);
    } else {
        commandes << commande(absolu, mode(disposition), QStringLiteral("*"));
    }
    if (commandes.contains(QByteArray())) {
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
    Envoi envoi {commandes, chemin, disposition, signaler};
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
            commander(envoi, ' ' + lireCouleurSway(reponse));
        });
    }
    commander(envoi, {});
}

void BureauSway::commander(const Envoi &envoi, const QByteArray &suffixe)
{
    QByteArrayList commandes;
    for (const QByteArray &c : envoi.commandes)
        commandes << c + suffixe;
    demander(runCommand, commandes.join("; "),
             [this, envoi](const QString &probleme, const QByteArray &reponse) {
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

void BureauSway::demander(qint32 type, const QByteArray &charge, Reponse repondre, bool abonnement)
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
    // A subscription ends with us: its socket with it.
    QObject::connect(porteur, &QObject::destroyed, [echange] {
        if (!echange->termine && echange->fd >= 0)
            ::close(echange->fd);
    });
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
    QObject::connect(lecture, &QSocketNotifier::activated, porteur,
                     [echange, conclure, erreur, abonnement, delai, repondre] {
                         char morceau[4096];
                         const ssize_t n = ::recv(echange->fd, morceau, sizeof morceau, 0);
                         if (n < 0)
                             return errno == EAGAIN || errno == EINTR ? void() : conclure(erreur());
                         if (n == 0)
                             return conclure(QStringLiteral("sway closed the connection"));
                         QByteArray &recu = echange->recu;
                         recu.append(morceau, n);
                         while (recu.size() >= tailleEntete) {
                             qint32 longueur = 0;
                             memcpy(&longueur, recu.constData() + 6, sizeof longueur);
                             if (!recu.startsWith(magie) || longueur < 0)
                                 return conclure(QStringLiteral("unexpected reply"));
                             if (recu.size() < tailleEntete + longueur)
                                 return;
                             const QByteArray message = recu.mid(tailleEntete, longueur);
                             if (!abonnement)
                                 return conclure(QString(), message);
                             // A subscription stays open: every event is handed over as it comes.
                             recu.remove(0, tailleEntete + longueur);
                             delai->stop();
                             repondre(QString(), message);
                         }
                     });
    QObject::connect(delai, &QTimer::timeout, porteur,
                     [conclure] { conclure(QStringLiteral("no reply in time")); });
    delai->setSingleShot(true);
    delai->start(delaiMs);
}
