#include "reducteur.h"
#include "rendu.h"

#include <algorithm>
#include <cstring>

bool ReducteurLignes::preparer(QRect partieLue, QSize sortie, bool avecAlpha)
{
    partie = partieLue;
    alpha = avecAlpha;
    recues = 0;
    // Blocks as large as keep the reduced picture at least the output's size.
    bloc = std::max(1,
                    std::min(partie.width() / std::max(1, sortie.width()),
                             partie.height() / std::max(1, sortie.height())));
    const QSize taille((partie.width() + bloc - 1) / bloc, (partie.height() + bloc - 1) / bloc);
    reduite = nouvelleImage(taille, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    sommes.assign(size_t(taille.width()) * 4, 0);
    return !reduite.isNull();
}

void ReducteurLignes::ajouter(const uchar *ligne)
{
    if (recues >= partie.height())
        return;
    const uchar *p = ligne + size_t(partie.left()) * 4;
    // Nothing to average, nothing to premultiply: the row is the output's (a divide a channel took longer
    // than decoding it).
    if (bloc == 1 && !alpha) {
        std::memcpy(reduite.scanLine(recues++), p, size_t(partie.width()) * 4);
        return;
    }
    for (int x = 0; x < partie.width(); ++x, p += 4) {
        quint64 *s = &sommes[size_t(x / bloc) * 4];
        const quint64 a = alpha ? p[3] : 255;
        s[0] += p[0] * (alpha ? a : 1);
        s[1] += p[1] * (alpha ? a : 1);
        s[2] += p[2] * (alpha ? a : 1);
        s[3] += a;
    }
    const int y = recues++;
    if (y % bloc == bloc - 1 || recues == partie.height())
        vider(y / bloc, y % bloc + 1);
}

// Writes the reduced row y from the sums of that many rows, and clears them.
void ReducteurLignes::vider(int y, int lignes)
{
    auto *sortie = reinterpret_cast<quint32 *>(reduite.scanLine(y));
    for (int c = 0; c < reduite.width(); ++c) {
        quint64 *s = &sommes[size_t(c) * 4];
        const quint64 n = quint64(lignes) * quint64(std::min(bloc, partie.width() - c * bloc));
        // Premultiplied sums carry a factor of 255 more than the alpha's.
        const quint64 d = alpha ? n * 255 : n;
        sortie[c] = quint32((s[3] + n / 2) / n) << 24 | quint32((s[2] + d / 2) / d) << 16
            | quint32((s[1] + d / 2) / d) << 8 | quint32((s[0] + d / 2) / d);
        std::fill(s, s + 4, 0);
    }
}
