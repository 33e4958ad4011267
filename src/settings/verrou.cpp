#include "verrou.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {
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
} // namespace

QString dossierVerrou()
{
    const QString execution = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!execution.isEmpty() && estPrive(execution))
        return execution;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    const QString dossier = cache + QStringLiteral("/papirol2");
    if (!QFileInfo::exists(dossier) && QDir().mkpath(dossier))
        QFile::setPermissions(dossier, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return estPrive(dossier) ? dossier : QString();
}

namespace {
QString cheminDansDossierVerrou(const QString &ini, const QString &suffixe)
{
    const QString dossier = dossierVerrou();
    if (dossier.isEmpty())
        return {};
    const QByteArray empreinte = QCryptographicHash::hash(ini.toUtf8(), QCryptographicHash::Sha1).toHex();
    return dossier + QStringLiteral("/papirol2-") + QString::fromLatin1(empreinte) + suffixe;
}
} // namespace

QString cheminVerrou(const QString &ini)
{
    return cheminDansDossierVerrou(ini, QStringLiteral(".lock"));
}

QString cheminCanal(const QString &ini)
{
    return cheminDansDossierVerrou(ini, QStringLiteral(".sock"));
}
