#include "avissansplateau.h"

#include "lignedecommande.h"

#include <QSystemTrayIcon>
#include <QTimer>

#ifdef PAPIROL2_AVEC_DBUS
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {
// A tray host started with the session may come up after the program does.
constexpr int delaiMs = 5000;

void aviser(QObject *parent)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return;
    QString texte = QStringLiteral(
        "Papirol 2 tourne sans icône : aucune zone de notification n'est disponible. Il se commande par "
        "papirol2 --changer, --activer, --desactiver ou --quitter (voir papirol2 --help).");
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        texte += QStringLiteral(" Sous GNOME, l'extension AppIndicator affiche l'icône.");
    qCWarning(lcDemarrage) << "no notification area after" << delaiMs << "ms; telling the user";
#ifdef PAPIROL2_AVEC_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage appel = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        appel << QStringLiteral("Papirol 2") << uint(0) << QStringLiteral("papirol2")
              << QStringLiteral("Papirol 2") << texte << QStringList() << QVariantMap() << int(-1);
        // Asynchronous: a notification service that is slow to answer must not hold the event loop.
        auto *attente = new QDBusPendingCallWatcher(bus.asyncCall(appel), parent);
        QObject::connect(attente, &QDBusPendingCallWatcher::finished, parent,
                         [texte](QDBusPendingCallWatcher *w) {
                             if (w->isError()) {
                                 qCInfo(lcDemarrage) << "no notification service:" << w->error().message();
                                 dire(stderr, QStringLiteral("papirol2 : ") + texte);
                             }
                             w->deleteLater();
                         });
        return;
    }
#endif
    Q_UNUSED(parent);
    dire(stderr, QStringLiteral("papirol2 : ") + texte);
}
} // namespace

void prevoirAvisSansPlateau(QObject *parent)
{
    QTimer::singleShot(delaiMs, parent, [parent] { aviser(parent); });
}
