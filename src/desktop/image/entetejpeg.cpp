#include "entetejpeg.h"

#include <QIODevice>
#include <QList>
#include <QSize>
#include <QtEndian>

namespace {
bool lire(QIODevice *f, void *donnees, qint64 taille)
{
    return f->read(static_cast<char *>(donnees), taille) == taille;
}

// The next marker's code, skipping what lies between markers as the decoder does; -1 at the end.
int marqueurSuivant(QIODevice *f)
{
    uchar c = 0;
    do {
        do {
            if (!lire(f, &c, 1))
                return -1;
        } while (c != 0xff);
        do {
            if (!lire(f, &c, 1))
                return -1;
        } while (c == 0xff);
    } while (c == 0);
    return c;
}
} // namespace

EnteteJpeg lireEnteteJpeg(QIODevice *f)
{
    EnteteJpeg entete;
    uchar octets[6];
    if (!f->seek(0) || !lire(f, octets, 2) || octets[0] != 0xff || octets[1] != 0xd8)
        return entete;
    QSize taille;
    bool huffman = true;
    QList<QPair<int, int>> echantillonnage;
    for (int n = 0; n < 10000; ++n) {
        const int marqueur = marqueurSuivant(f);
        if (marqueur == 0x01 || (marqueur >= 0xd0 && marqueur <= 0xd8))
            continue;
        if (marqueur < 0 || marqueur == 0xd9 || !lire(f, octets, 2) || qFromBigEndian<quint16>(octets) < 2)
            return entete;
        const qint64 fin = f->pos() + qFromBigEndian<quint16>(octets) - 2;
        const bool sof = marqueur >= 0xc0 && marqueur <= 0xcf && marqueur != 0xc4 && marqueur != 0xc8
            && marqueur != 0xcc;
        if (sof && echantillonnage.isEmpty()) {
            if (!lire(f, octets, 6))
                return entete;
            taille = QSize(qFromBigEndian<quint16>(octets + 3), qFromBigEndian<quint16>(octets + 1));
            huffman = marqueur < 0xc8;
            for (int i = octets[5]; i > 0; --i) {
                uchar composante[3];
                if (!lire(f, composante, 3))
                    return entete;
                echantillonnage.append({qMax(1, composante[1] >> 4), qMax(1, composante[1] & 15)});
            }
        } else if (marqueur == 0xda) {
            uchar composantes = 0;
            if (taille.isEmpty() || echantillonnage.isEmpty() || !lire(f, &composantes, 1))
                return entete;
            int hMax = 1, vMax = 1;
            for (const auto &[h, v] : std::as_const(echantillonnage)) {
                hMax = qMax(hMax, h);
                vMax = qMax(vMax, v);
            }
            for (const auto &[h, v] : std::as_const(echantillonnage)) {
                const qint64 colonnes = (qint64(taille.width()) * h + 8 * hMax - 1) / (8 * hMax);
                const qint64 lignes = (qint64(taille.height()) * v + 8 * vMax - 1) / (8 * vMax);
                entete.bitsMin += huffman ? colonnes * lignes : 0;
            }
            entete.lisible = true;
            return entete;
        }
        if (!f->seek(fin))
            return entete;
    }
    return entete;
}
