#pragma once

#include "desktop/disposition.h"

#include <QPoint>
#include <QRect>
#include <QSize>

/** What a decoder has to produce for one layout, and where it goes on the screen. */
struct PlanDecodage
{
    /** The area of the picture that shows, in the picture's own pixels. */
    QRect source;
    /** The whole picture's size once scaled for the layout. */
    QSize echelle;
    /** The part of the scaled picture that shows: what is decoded. */
    QRect partie;
    /** Where that part's top-left corner lands on the screen. */
    QPoint destination;
    /** The tile step when the picture repeats, invalid otherwise. */
    QSize pas;

    bool estVide() const { return source.isEmpty() || partie.isEmpty(); }
};

/** Where the picture, scaled for the layout, lies on the screen (it may overflow); tiled gives the first
 * tile. */
QRect placement(Disposition disposition, QSize image, QSize ecran);

/** The decoding work for a picture of that size in that layout; empty when nothing can show. */
PlanDecodage planDecodage(Disposition disposition, QSize image, QSize ecran);
