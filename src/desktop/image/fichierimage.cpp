#include "fichierimage.h"

#include "commun/ouvrier.h"

#include <QImageReader>

#ifdef Q_OS_WIN
#include <QFileInfo>
#else
#include "commun/nomsfichiers.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcImage, "papirol2.image", QtCriticalMsg)

qint64 FichierImage::readData(char *donnees, qint64 taille)
{
    if (Ouvrier::arretDemande()) {
        setErrorString(QStringLiteral("drawing given up"));
        return -1;
    }
    return QFile::readData(donnees, taille);
}

#ifdef Q_OS_WIN
bool ouvrirImage(const QString &chemin, FichierImage *fichier)
{
    fichier->setFileName(chemin);
    if (QFileInfo(chemin).isFile() && fichier->open(QIODevice::ReadOnly))
        return true;
    qCWarning(lcImage) << "cannot read" << chemin << "as a regular file" << fichier->errorString();
    return false;
}
#else
// A pipe or a device put in a picture's place would block open() or read() forever: only regular files pass,
// checked on the descriptor itself so that the file cannot be swapped in between. Opened by the name's own
// bytes: a name that is not UTF-8 is found as it was listed.
bool ouvrirImage(const QString &chemin, FichierImage *fichier)
{
    const int fd = ::open(octetsDuNom(chemin).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcImage) << "cannot open" << chemin << std::strerror(errno);
        return false;
    }
    struct stat etat = {};
    if (fstat(fd, &etat) != 0 || !S_ISREG(etat.st_mode)) {
        qCWarning(lcImage) << "not a regular file:" << chemin;
        ::close(fd);
        return false;
    }
    if (!fichier->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        qCWarning(lcImage) << "cannot read" << chemin << fichier->errorString();
        ::close(fd);
        return false;
    }
    return true;
}
#endif

bool fichierLisible(const QString &chemin)
{
    FichierImage fichier;
    return ouvrirImage(chemin, &fichier);
}

bool imageDecodable(const QString &chemin)
{
    FichierImage fichier;
    if (ouvrirImage(chemin, &fichier) && QImageReader(&fichier).canRead())
        return true;
    qCWarning(lcImage) << "wallpaper not changed:" << chemin << "is not a readable picture";
    return false;
}

QByteArray formatImage(const QString &chemin)
{
    FichierImage fichier;
    return ouvrirImage(chemin, &fichier) ? QImageReader(&fichier).format() : QByteArray();
}
