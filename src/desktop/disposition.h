#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QPoint>
#include <QRect>
#include <QSize>

/** The layouts by their stored numbers. */
enum PositionFond : int { Centre = 1, Mosaique = 2, Etire = 3, Ajuste = 4, Rempli = 5 };

/** What a decoder has to produce for one layout, and where it goes on the screen. */
struct PlanDecodage
{
    /** The area of the picture that shows, in the picture's own pixels. */
    QRect source;
    /** The size that area is decoded at: what it covers on the screen. */
    QSize sortie;
    /** Where the decoded area's top-left corner lands on the screen. */
    QPoint destination;
    /** The tile step when the picture repeats, invalid otherwise. */
    QSize pas;
    /** The whole picture's size once scaled for the layout. */
    QSize echelle;
    /** The area that shows, in the scaled picture's coordinates (for decoders that scale as they decode). */
    QRect decoupeEchelle;

    bool estVide() const { return source.isEmpty() || sortie.isEmpty(); }
};

/** The layout drawn for a stored number: anything outside 1..5 means filled. */
PositionFond positionEffective(int position);

/** Where the picture, scaled for the layout, lies on the screen (it may overflow); tiled gives the first
 * tile. */
QRect placement(int position, QSize image, QSize ecran);

/** The decoding work for a picture of that size in that layout; empty when nothing can show. */
PlanDecodage planDecodage(int position, QSize image, QSize ecran);

/** Brings a whole decoded picture down to what the plan asks of a decoder. */
QImage reduire(const QImage &image, const PlanDecodage &plan);

/** An uninitialised picture whose memory the kernel may back with huge pages (null if out of memory). */
QImage nouvelleImage(QSize taille, QImage::Format format);

/** The screen-sized RGB32 picture: the decoded area laid on black as the plan says. */
QImage composer(const QImage &decodee, const PlanDecodage &plan, QSize ecran);

/** Pictures drawn for screens, one per screen size. */
using ImagesParTaille = QList<QPair<QSize, QImage>>;

/** The sizes among these screens, each once, in the order they first appear. */
QList<QSize> taillesDistinctes(const QList<QRect> &ecrans);

/** The desktop as one RGB32 picture: each screen's picture (found by its size) at its place, black where no
 * screen shows; null if one is missing. */
QImage assembler(QSize bureau, const QList<QRect> &ecrans, const ImagesParTaille &images);
