#include "dossierpersonnel.h"

#include "lignedecommande.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

std::unique_ptr<QTemporaryDir> etablirDossierPersonnel()
{
#ifdef Q_OS_UNIX
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return nullptr;
    const passwd *entree = getpwuid(geteuid());
    const QByteArray maison = entree && entree->pw_dir ? QByteArray(entree->pw_dir) : QByteArray();
    if (maison.startsWith('/') && QFileInfo(QString::fromLocal8Bit(maison)).isDir()) {
        qputenv("HOME", maison);
        qCInfo(lcDemarrage) << "HOME unset; the home folder from the password database is" << maison;
        return nullptr;
    }
    auto temporaire = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/papirol2-XXXXXX"));
    if (!temporaire->isValid()) {
        qCWarning(lcDemarrage) << "HOME unset, no home in the password database and no temporary folder;"
                               << "the stores may land under /";
        return nullptr;
    }
    qputenv("HOME", QFile::encodeName(temporaire->path()));
    qCWarning(lcDemarrage) << "HOME unset and no home in the password database; nothing is kept on disk"
                           << "beyond this run (stores in" << temporaire->path() << ")";
    return temporaire;
#else
    return nullptr;
#endif
}
