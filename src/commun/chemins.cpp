#include "chemins.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <shlobj.h>
#else
#include <unistd.h>
#endif

namespace {
QString dansConfiguration(const QString &nom)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + nom;
}

bool estPrive(const QString &dossier)
{
    const QFileInfo info(dossier);
#ifdef Q_OS_WIN
    // The local application data belongs to the user's profile, which others cannot write to.
    return info.isDir() && info.isWritable();
#else
    return info.isDir() && info.ownerId() == geteuid()
        && !(info.permissions() & (QFile::WriteGroup | QFile::WriteOther));
#endif
}

QString dansExecution(const QString &ini, const QString &suffixe)
{
    const QString dossier = dossierExecution();
    if (dossier.isEmpty())
        return {};
    const QByteArray empreinte = QCryptographicHash::hash(ini.toUtf8(), QCryptographicHash::Sha1).toHex();
    return dossier + QStringLiteral("/papirol2-") + QString::fromLatin1(empreinte) + suffixe;
}
} // namespace

void ignorerXdgRelatifs()
{
    for (const char *nom :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        if (qEnvironmentVariableIsSet(nom) && !QDir::isAbsolutePath(qEnvironmentVariable(nom)))
            qunsetenv(nom);
    }
}

QString cheminReglages()
{
    return QDir::current().absoluteFilePath(QStringLiteral("Papirol2.ini"));
}

QString cheminRotation()
{
    return dansConfiguration(QStringLiteral("papirol2/rotation.ini"));
}

QString cheminMagasin(const QString &nomBureau)
{
    return dansConfiguration(QStringLiteral("papirol2/bureau-%1.ini").arg(nomBureau));
}

QString dossierDonnees()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/papirol2");
}

QString dossierExecution()
{
    const QString execution = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString parent = !execution.isEmpty() && estPrive(execution)
        ? execution
        : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (parent.isEmpty())
        return {};
    const QString dossier = parent + QStringLiteral("/papirol2");
    if (!QFileInfo::exists(dossier) && QDir().mkpath(dossier))
        QFile::setPermissions(dossier, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return estPrive(dossier) ? dossier : QString();
}

QString cheminVerrou(const QString &ini)
{
    return dansExecution(ini, QStringLiteral(".lock"));
}

QString cheminCanal(const QString &ini)
{
    return dansExecution(ini, QStringLiteral(".sock"));
}

QString cheminTemoinCalque()
{
    const QString dossier = dossierExecution();
    return (dossier.isEmpty() ? QDir::tempPath() : dossier) + QStringLiteral("/calque.pid");
}

QString cheminDemarrage()
{
#ifdef Q_OS_WIN
    PWSTR dossier = nullptr;
    QString chemin;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_CREATE, nullptr, &dossier)))
        chemin
            = QDir::fromNativeSeparators(QString::fromWCharArray(dossier)) + QStringLiteral("/Papirol 2.lnk");
    CoTaskMemFree(dossier);
    return chemin;
#else
    return dansConfiguration(QStringLiteral("autostart/papirol2.desktop"));
#endif
}
