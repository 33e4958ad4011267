#include "audemarrage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace {
void dire(FILE *flux, const QString &texte)
{
    fputs(texte.toLocal8Bit().constData(), flux);
    fputc('\n', flux);
}

#ifndef Q_OS_WIN
/** A desktop entry's string value: backslashes and control characters escaped, a leading space kept. */
QString valeurChaine(QString texte)
{
    texte.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"))
        .replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    if (texte.startsWith(QLatin1Char(' ')))
        texte.replace(0, 1, QStringLiteral("\\s"));
    return texte;
}

/** One argument of an Exec line, quoted as the desktop entry rules want, then as a string value. */
QString argumentExec(QString argument)
{
    for (const char c : {'\\', '"', '`', '$'})
        argument.replace(QLatin1Char(c), QString(QLatin1Char('\\')) + QLatin1Char(c));
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return valeurChaine(QLatin1Char('"') + argument + QLatin1Char('"'));
}
#endif
} // namespace

int reglerAuDemarrage(bool oui)
{
#ifdef Q_OS_WIN
    Q_UNUSED(oui);
    dire(stderr, QStringLiteral("papirol2 : --au-demarrage n'existe pas encore sous Windows."));
    return 1;
#else
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString fichier = config + QStringLiteral("/autostart/papirol2.desktop");
    if (!oui) {
        if (!QFileInfo::exists(fichier)) {
            dire(stdout, QStringLiteral("papirol2 ne démarrait pas avec la session : rien à faire."));
            return 0;
        }
        if (!QFile::remove(fichier)) {
            dire(stderr, QStringLiteral("papirol2 : impossible de supprimer %1.").arg(fichier));
            return 1;
        }
        dire(stdout,
             QStringLiteral("papirol2 ne démarrera plus avec la session (%1 supprimé).").arg(fichier));
        return 0;
    }
    const QString programme = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString dossier = QDir::currentPath();
    QSaveFile sortie(fichier);
    const QString texte = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Papirol 2\n"
                                         "Comment=Changes the desktop wallpaper at a fixed interval\n"
                                         "Comment[fr]=Change le fond d'écran à intervalle régulier\n"
                                         "Exec=%1\n"
                                         "Path=%2\n"
                                         "Icon=papirol2\n"
                                         "Terminal=false\n")
                              .arg(argumentExec(programme.isEmpty() ? QStringLiteral("papirol2") : programme),
                                   valeurChaine(dossier));
    if (!QDir().mkpath(QFileInfo(fichier).path()) || !sortie.open(QIODevice::WriteOnly)
        || sortie.write(texte.toUtf8()) < 0 || !sortie.commit()) {
        dire(stderr, QStringLiteral("papirol2 : impossible d'écrire %1.").arg(fichier));
        return 1;
    }
    dire(
        stdout,
        QStringLiteral("papirol2 démarrera avec la session, dans le dossier %1 (%2).").arg(dossier, fichier));
    return 0;
#endif
}
