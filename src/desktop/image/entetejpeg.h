#pragma once

#include <QtGlobal>

class QIODevice;

/** What a JPEG's header says of its decoding, read before anything is decoded. */
struct EnteteJpeg
{
    /** False when the header up to the first scan cannot be read as the decoder reads it. */
    bool lisible = false;
    /** Huffman coding spends at least a bit on every 8x8 block: a file with fewer bits is mostly made up. */
    qint64 bitsMin = 0;
};

/** Reads the header of the JPEG from the device's start (not lisible for anything else). */
EnteteJpeg lireEnteteJpeg(QIODevice *f);
