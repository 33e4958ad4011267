#include "attente.h"
#include "desktop/bureau.h"

#include <QEventLoop>
#include <QTimer>

#ifdef QT_DBUS_LIB
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#endif

void Attente::commencer()
{
    ++enCours;
}

void Attente::terminer()
{
    if (enCours > 0 && --enCours == 0)
        emit toutesTerminees();
}

bool Attente::attendre(int msecs)
{
    if (enCours == 0)
        return true;
    QEventLoop boucle;
    connect(this, &Attente::toutesTerminees, &boucle, &QEventLoop::quit);
    if (msecs >= 0)
        QTimer::singleShot(msecs, &boucle, &QEventLoop::quit);
    boucle.exec();
    return enCours == 0;
}

#ifdef QT_DBUS_LIB
void Attente::appelerDBus(const QDBusMessage &appel, std::function<void(const QDBusMessage &)> repondre,
                          int delaiMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        repondre(appel.createErrorReply(
            QDBusError::Disconnected,
            QStringLiteral("no D-Bus session bus: %1").arg(bus.lastError().message())));
        return;
    }
    commencer();
    auto *veilleur = new QDBusPendingCallWatcher(bus.asyncCall(appel, delaiMs), this);
    connect(veilleur, &QDBusPendingCallWatcher::finished, this,
            [this, repondre = std::move(repondre)](QDBusPendingCallWatcher *v) {
                v->deleteLater();
                repondre(v->reply());
                terminer();
            });
}
#endif
