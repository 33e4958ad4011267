#pragma once

#include <QtGlobal>

class QIODevice;

/** What a JPEG's header says its decoding costs beyond the pixels, read before anything is decoded. */
struct EnteteJpeg
{
    /** False when the header up to the first scan cannot be read as the decoder reads it. */
    bool lisible = false;
    /** The coefficient buffers the decoder keeps for the whole picture when its scans come one after another
     * (progressive, or components not interleaved): 2 bytes a coefficient at full size, whatever the scale.
     */
    qint64 octetsCoefficients = 0;
    /** Huffman coding spends at least a bit on every 8x8 block: a file with fewer bits is mostly made up. */
    qint64 bitsMin = 0;
};

/** Reads the header of the JPEG from the device's start (not lisible for anything else). */
EnteteJpeg lireEnteteJpeg(QIODevice *f);
