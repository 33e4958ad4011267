#pragma once

#include "fichierimage.h"
#include "geometrie.h"

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

/**
 * Decodes a picture file straight to what a screen of that size shows in the layout: an RGB32 picture of the
 * screen's size, black where the picture does not reach. Decodes no more than shows where the format allows;
 * null (with a log line) for a file that cannot or should not be decoded: not a regular file, or claiming
 * more than a camera takes. Safe to call from any thread; gives up early on an Ouvrier lane that is stopping.
 */
QImage rendrePourEcran(const QString &chemin, Disposition disposition, QSize ecran);

/** Pictures drawn for screens, one per screen size. */
using ImagesParTaille = QList<QPair<QSize, QImage>>;

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
    bool preparer(const QString &chemin, Disposition disposition, const QList<QRect> &ecrans);
    /** Forgets what was drawn, so that the next preparation reads the file again. */
    void oublier();
    /** What is drawn for screens of each size. */
    const ImagesParTaille &images() const { return parTaille; }
    /** The picture drawn, empty before any. */
    QString chemin() const { return cheminImage; }
    Disposition disposition() const { return dispositionImage; }

private:
    QString cheminImage;
    Disposition dispositionImage = dispositionParDefaut;
    ImagesParTaille parTaille;
};

/** The desktop as one RGB32 picture: each screen's picture (found by its size) at its place, black where no
 * screen shows; null if one is missing. */
QImage assembler(QSize bureau, const QList<QRect> &ecrans, const ImagesParTaille &images);

/** The whole monitor layout as one RGB32 picture, for desktops that take one picture spanned over all: each
 * monitor's picture laid out at its size in its rectangle, black where no monitor shows; null when one cannot
 * be drawn. Any thread. */
QImage composerEcrans(const QList<QPair<QRect, QString>> &ecrans, Disposition disposition);

/** Writes a picture drawn from source atomically in the program's data folder, under a new name starting
 * with prefixe (desktops ignore a path they have already), and removes those of that prefix but the one
 * before, which the desktop may still be reading; its path, or empty. */
QString enregistrerRendu(const QString &source, const QImage &image, const QString &prefixe);
