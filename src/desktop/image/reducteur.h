#pragma once

#include <QImage>
#include <QRect>

#include <vector>

/**
 * Brings a part of a picture down as its rows come, averaging blocks of rows and columns: what it holds is a
 * row of sums and a picture no more than twice the output's size each way. The last scaling is Qt's.
 */
class ReducteurLignes
{
public:
    /** For the part of rows that many pixels wide, to come down to about sortie; with alpha, the picture is
     * premultiplied. False when out of memory. */
    bool preparer(QRect partie, QSize sortie, bool alpha);
    /** Takes the next row of the part: a whole row of 32-bit pixels (B, G, R, A in memory), of which the
     * part's columns count. */
    void ajouter(const uchar *ligne);
    /** What the rows taken so far made; complete once the part's last row is taken. */
    QImage image() const { return reduite; }

private:
    void vider(int y, int lignes);

    QRect partie;
    QImage reduite;
    // Per column of the reduced picture: blue, green, red (premultiplied), alpha, summed over a block.
    std::vector<quint64> sommes;
    int bloc = 1;
    int recues = 0;
    bool alpha = false;
};
