#pragma once

#include <QImage>
#include <QRect>

class QIODevice;

// Qt's PNG reader decodes 16-bit pictures at 8 bytes a pixel, and inflates and keeps every text chunk before
// the first row: a 64x64 PNG with 990 zTXt chunks of 7 MB each was killed at 24 GB after 5 minutes through
// it, against 23 MiB and 0.06 s here.

/** The size a PNG's header gives, invalid when the device holds no PNG. Reads from the device's start. */
QSize lireTaillePng(QIODevice *fichier);

/**
 * Decodes the rows of a PNG that the part spans, whole rows of 8-bit channels as RGB32 or
 * ARGB32_Premultiplied, interlaced or not; chunks other than the pixels' own are skipped uninflated. Null
 * when the file cannot be decoded or the device fails a read (a drawing given up). Reads from the device's
 * start.
 */
QImage decoderLignesPng(QIODevice *fichier, QRect partie);
