#include "basculeplateau.h"

#include "lignedecommande.h"

#include <QGuiApplication>

#ifdef PAPIROL2_AVEC_DBUS
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace {
#ifdef PAPIROL2_AVEC_DBUS
const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString chemin = QStringLiteral("/StatusNotifierWatcher");
// Bounds the look before the icon is built: Qt's own look just after waits for the same answer anyway.
constexpr int delaiMs = 2000;

QDBusMessage questionHote()
{
    QDBusMessage question = QDBusMessage::createMethodCall(
        service, chemin, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question << service << QStringLiteral("IsStatusNotifierHostRegistered");
    return question;
}

bool hoteDans(const QDBusMessage &reponse)
{
    return reponse.type() == QDBusMessage::ReplyMessage && !reponse.arguments().isEmpty()
        && reponse.arguments().first().value<QDBusVariant>().variant().toBool();
}
#endif
} // namespace

BasculePlateau::BasculePlateau(QObject *parent)
    : QObject(parent)
{
#ifdef PAPIROL2_AVEC_DBUS
    // Elsewhere Qt's StatusNotifier item registers whenever a host comes.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    hote = hoteDans(bus.call(questionHote(), QDBus::Block, delaiMs));
    auto *veille = new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(veille, &QDBusServiceWatcher::serviceOwnerChanged, this, &BasculePlateau::on_changementHote);
    // A watcher may come first and its host later, or lose its host and stay.
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus.connect(QString(), chemin, service, QLatin1String(signal), this, SLOT(on_changementHote()));
#endif
}

void BasculePlateau::on_changementHote()
{
#ifdef PAPIROL2_AVEC_DBUS
    auto *attente
        = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(questionHote(), delaiMs), this);
    connect(attente, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (hoteDans(w->reply()) == hote)
            return;
        hote = !hote;
        qCInfo(lcDemarrage) << "a StatusNotifier host" << (hote ? "appeared" : "left") << "; moving the icon";
        emit hoteChange();
    });
#endif
}

int relancerProgramme(char **arguments)
{
#ifdef Q_OS_UNIX
    // The file the process runs, even if it was started through a relative path or a link since changed.
    execv("/proc/self/exe", arguments);
    qCWarning(lcDemarrage) << "could not restart:" << strerror(errno);
#else
    Q_UNUSED(arguments);
#endif
    return 1;
}
