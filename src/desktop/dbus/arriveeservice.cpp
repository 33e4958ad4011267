#include "arriveeservice.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace {
// A session's shell comes within seconds, a loaded machine's within a minute or two.
constexpr qint64 limiteMs = 180000;
constexpr int relanceMs = 2000;
} // namespace

ArriveeService::ArriveeService(const QString &service, QObject *parent)
    : QObject(parent)
    , veille(new QDBusServiceWatcher(service, QDBusConnection::sessionBus(),
                                     QDBusServiceWatcher::WatchForRegistration, this))
    , relance(new QTimer(this))
{
    connect(veille, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (enCours())
            emit essayer();
    });
    relance->setInterval(relanceMs);
    connect(relance, &QTimer::timeout, this, [this] {
        if (depuis.elapsed() < limiteMs)
            return emit essayer();
        arreter();
        emit expiree();
    });
}

bool ArriveeService::absent(const QDBusError &erreur)
{
    return erreur.type() == QDBusError::ServiceUnknown
        || erreur.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

void ArriveeService::attendre()
{
    if (enCours())
        return;
    depuis.start();
    relance->start();
}

void ArriveeService::arreter()
{
    relance->stop();
}

bool ArriveeService::enCours() const
{
    return relance->isActive();
}

void appelerDBus(QObject *contexte, const QDBusMessage &appel,
                 std::function<void(const QDBusMessage &)> repondre, int delaiMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return repondre(appel.createErrorReply(
            QDBusError::Disconnected,
            QStringLiteral("no D-Bus session bus: %1").arg(bus.lastError().message())));
    auto *veilleur = new QDBusPendingCallWatcher(bus.asyncCall(appel, delaiMs), contexte);
    QObject::connect(veilleur, &QDBusPendingCallWatcher::finished, contexte,
                     [repondre = std::move(repondre)](QDBusPendingCallWatcher *v) {
                         v->deleteLater();
                         repondre(v->reply());
                     });
}
