#pragma once

#include "geometrie.h"

#include <QImage>

class QIODevice;

/**
 * Decodes the part of a PNG that the plan shows, a row at a time, averaging blocks of rows and columns as
 * they come: what it holds is a row and a picture no more than twice the output's size each way, whatever the
 * file's size or depth. An interlaced PNG has no row in final form before its last pass: it is decoded whole
 * at 4 bytes a pixel, if that fits in octetsMax. Null when the file cannot be decoded or would cost more.
 * Reads from the device's current position.
 */
QImage decoderPngParLignes(QIODevice *fichier, const PlanDecodage &plan, qint64 octetsMax);
