#pragma once

#include "disposition.h"

#include <QImage>
#include <QString>

/**
 * Decodes a picture file straight to what a screen of that size shows in the layout (1..5, anything else
 * filled): an RGB32 picture of the screen's size, black where the picture does not reach. Decodes no more
 * than shows where the format allows; null (with a log line) for a file that cannot or should not be
 * decoded: not a regular file, or claiming more than a camera takes. Safe to call from any thread; gives up
 * early on an Ouvrier that is stopping.
 */
QImage rendrePourEcran(const QString &chemin, int position, QSize ecran);

/** The picture's format as its content says ("jpeg", "png"…), empty when it is not a readable regular file;
 * never blocks on a pipe. */
QByteArray formatImage(const QString &chemin);

/**
 * One picture drawn for several screens: decoded once per distinct screen size, and kept until another
 * picture or layout is asked for, so that screens that move or go away are redrawn without decoding again.
 * For one thread at a time.
 */
class RenduEcrans final
{
public:
    /** Draws the picture for these screens, decoding only for the sizes not drawn yet; false when it cannot
     * be drawn. */
    bool preparer(const QString &chemin, int position, const QList<QRect> &ecrans);
    /** Forgets what was drawn, so that the next preparation reads the file again. */
    void oublier();
    /** What is drawn for screens of each size. */
    const ImagesParTaille &images() const { return parTaille; }
    /** The picture drawn, empty before any. */
    QString chemin() const { return cheminImage; }
    int position() const { return positionImage; }

private:
    QString cheminImage;
    int positionImage = 0;
    ImagesParTaille parTaille;
};
