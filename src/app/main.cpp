#include "ui/papirol2.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcDemarrage, "papirol2.demarrage", QtCriticalMsg)

namespace {
// One running copy per settings file: the lock is named after the ini's absolute path.
QString cheminVerrou()
{
    const QByteArray ini = QDir::current().absoluteFilePath(QStringLiteral("Papirol2.ini")).toUtf8();
    QString dossier = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dossier.isEmpty())
        dossier = QDir::tempPath();
    const QString empreinte
        = QString::fromLatin1(QCryptographicHash::hash(ini, QCryptographicHash::Sha1).toHex());
    return dossier + QStringLiteral("/papirol2-") + empreinte + QStringLiteral(".lock");
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Only "Quitter" ends the program: closing a dialog while nothing else is visible must not.
    application.setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("papirol2"));

    QTranslator traducteur;
    if (!traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")))
        qCWarning(lcDemarrage) << "Qt's French catalogue could not be loaded";
    QCoreApplication::installTranslator(&traducteur);

    QLockFile verrou(cheminVerrou());
    verrou.setStaleLockTime(0);
    if (!verrou.tryLock(0)) {
        qCInfo(lcDemarrage) << "already running on this settings file; leaving it alone";
        return 0;
    }

    Papirol2 papirol2;
    return application.exec();
}
