#include "commun/nomsfichiers.h"
#include "desktop/bureau.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
// From the name's bytes: a file name that is not UTF-8 keeps them in the URI.
QByteArray uri(const QString &chemin)
{
    return "file://" + octetsDuNom(chemin).toPercentEncoding("/");
}
} // namespace

void montrerDansDossier(const QString &chemin)
{
    QDBusMessage appel = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    appel << QStringList {QString::fromLatin1(uri(chemin))} << QString();
    // The bus starts a file manager that offers it; without one, the folder goes to the default handler.
    auto *attente = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(appel));
    QObject::connect(attente, &QDBusPendingCallWatcher::finished, [attente, chemin] {
        attente->deleteLater();
        if (!attente->isError())
            return;
        qCInfo(lcBureau) << "no file manager shows items:" << attente->error().message()
                         << "; opening the folder";
        if (!QDesktopServices::openUrl(QUrl::fromEncoded(uri(QFileInfo(chemin).path()))))
            qCWarning(lcBureau) << "no program opens the folder of" << chemin;
    });
}
