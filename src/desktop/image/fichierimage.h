#pragma once

#include <QFile>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcImage)

/** A picture file fed to a decoder: its reads fail once the Ouvrier lane drawing it is stopping. */
class FichierImage final : public QFile
{
protected:
    qint64 readData(char *donnees, qint64 taille) override;
};

/** Opens a regular file for reading, never blocking on a pipe or device put in its place; says why in the log
 * when it cannot. */
bool ouvrirImage(const QString &chemin, FichierImage *fichier);

/** Whether a path names a readable regular file; says why in the log when not. Reads the disk: not on the
 * GUI thread. */
bool fichierLisible(const QString &chemin);

/** Whether a readable file holds a picture Qt can decode; says why in the log when not. Not on the GUI
 * thread. */
bool imageDecodable(const QString &chemin);

/** The picture's format as its content says ("jpeg", "png"…), empty when it is not a readable regular file;
 * never blocks on a pipe. */
QByteArray formatImage(const QString &chemin);
