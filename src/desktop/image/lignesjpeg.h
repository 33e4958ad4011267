#pragma once

#include "geometrie.h"

#include <QImage>
#include <QImageIOHandler>

class QIODevice;

/**
 * Decodes the part of a JPEG that the plan shows, scaled by eighths as libjpeg decodes and then averaged by
 * blocks as rows come, like decoderPngParLignes. The plan is the upright picture's; sens is how the file is
 * stored (its Exif orientation): the stored part is decoded, and the small result turned.
 *
 * A JPEG whose scans come one after another (progressive, or components apart) needs every coefficient of the
 * picture before its first row, at 2 bytes each. When they would not fit in octetsMax beside the result, the
 * file is read once per band of rows: each reading keeps the coefficients of its band, and of the rest only
 * which are not zero yet (a bit each), all that later scans need to stay in step. The pixels are the same.
 *
 * A file cut short gives what it holds, the rest as libjpeg fills it. Null when the file cannot be decoded or
 * the device fails a read (a drawing given up). Reads from the device's current position.
 */
QImage decoderJpegParLignes(QIODevice *fichier, const PlanDecodage &plan, qint64 octetsMax,
                            QImageIOHandler::Transformations sens = QImageIOHandler::TransformationNone);
