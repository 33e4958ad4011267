#include "bureaulxqt.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>

namespace {
// Index = layout number: centred, tiled, stretched, fitted, filled.
const char *const modes[] = {nullptr, "center", "tile", "stretch", "fit", "zoom"};
} // namespace

BureauLxqt::BureauLxqt()
    : magasin(QStringLiteral("lxqt"))
{
}

QString BureauLxqt::nom() const
{
    return QStringLiteral("lxqt");
}

void BureauLxqt::appliquerFondEcran(const QString &chemin)
{
    // The desktop would show a missing file as a blank background: keep the picture it has.
    if (!fichierLisible(chemin))
        return;
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    const int position = magasin.lirePosition();
    envoyer(absolu, position ? position : 5);
}

int BureauLxqt::lirePosition()
{
    return magasin.lirePosition();
}

void BureauLxqt::enregistrerPosition(int position)
{
    if (position < 1 || position > 5)
        return;
    magasin.enregistrerPosition(position);
    // An empty path changes the mode alone: a picture the user set since in pcmanfm-qt stays.
    envoyer(QString(), position);
}

bool BureauLxqt::attendre(int msecs)
{
    return attente.attendre(msecs);
}

void BureauLxqt::envoyer(const QString &chemin, int position)
{
    const QString mode = QString::fromLatin1(modes[position]);
    auto appel = QDBusMessage::createMethodCall(
        QStringLiteral("org.pcmanfm.PCManFM"), QStringLiteral("/Application"),
        QStringLiteral("org.pcmanfm.Application"), QStringLiteral("setWallpaper"));
    appel << chemin << mode;
    attente.appelerDBus(appel, [chemin, mode](const QDBusMessage &reponse) {
        if (reponse.type() == QDBusMessage::ReplyMessage)
            return;
        const QString erreur = reponse.errorName();
        if (erreur != QDBusError::errorString(QDBusError::ServiceUnknown)
            && erreur != QDBusError::errorString(QDBusError::Disconnected)) {
            qCWarning(lcBureau) << "pcmanfm-qt refused the wallpaper:" << reponse.errorMessage();
            return;
        }
        // The path is one argument of its own: no shell ever sees it.
        QStringList arguments {QStringLiteral("--wallpaper-mode"), mode};
        if (!chemin.isEmpty())
            arguments << QStringLiteral("--set-wallpaper") << chemin;
        if (!QProcess::startDetached(QStringLiteral("pcmanfm-qt"), arguments))
            qCWarning(lcBureau) << "pcmanfm-qt is neither on D-Bus nor runnable:" << reponse.errorMessage();
    });
}
