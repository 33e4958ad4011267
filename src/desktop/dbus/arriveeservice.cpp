#include "arriveeservice.h"

#include <QDBusConnection>
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
