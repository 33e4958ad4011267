#include "lignespng.h"
#include "fichierimage.h"

#include <QIODevice>
#include <QtEndian>

#include <csetjmp>
#include <vector>

#include <png.h>

namespace {
void lire(png_structp png, png_bytep donnees, size_t taille)
{
    auto *fichier = static_cast<QIODevice *>(png_get_io_ptr(png));
    if (fichier->read(reinterpret_cast<char *>(donnees), qint64(taille)) != qint64(taille))
        png_error(png, "file truncated, or drawing given up");
}

void erreur(png_structp png, png_const_charp message)
{
    qCWarning(lcImage) << "PNG:" << message;
    png_longjmp(png, 1);
}

void avertissement(png_structp, png_const_charp) { }

// What outlives a longjmp out of decoder(): everything with a destructor lives here, in the caller's frame.
struct Etat
{
    QRect partie;
    QImage image;
    std::vector<uchar> ligne;
};

// No object with a destructor lives in this frame: libpng leaves it by longjmp on any error.
bool decoder(png_structp png, png_infop info, Etat *etat)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    // Text, colour profiles, Exif: nothing the screen shows is in them, and text may inflate to gigabytes.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    png_uint_32 largeur = 0, hauteur = 0;
    int profondeur = 0, type = 0;
    png_get_IHDR(png, info, &largeur, &hauteur, &profondeur, &type, nullptr, nullptr, nullptr);
    const QRect partie = etat->partie;
    if (!QRect(0, 0, int(largeur), int(hauteur)).contains(partie))
        png_error(png, "size unlike the header read before");
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    // Whatever the file holds, rows come as QImage's 32-bit pixels in memory: B, G, R, A (or 255).
    png_set_expand(png);
    png_set_strip_16(png);
    if (!(type & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(largeur) * 4)
        png_error(png, "unexpected row layout");
    etat->image = QImage(int(largeur), partie.height(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (etat->image.isNull())
        png_error(png, "out of memory");
    etat->ligne.resize(size_t(largeur) * 4);
    // Each pass of an interlaced picture adds pixels to rows of earlier ones: the part's rows stay in the
    // picture, the others go through one row.
    for (int passe = 0; passe < passes; ++passe) {
        const int fin = passe == passes - 1 ? partie.bottom() + 1 : int(hauteur);
        for (int y = 0; y < fin; ++y)
            png_read_row(png,
                         y >= partie.top() && y <= partie.bottom() ? etat->image.scanLine(y - partie.top())
                                                                   : etat->ligne.data(),
                         nullptr);
    }
    return true;
}
} // namespace

QSize lireTaillePng(QIODevice *fichier)
{
    uchar entete[24];
    if (!fichier->seek(0) || fichier->read(reinterpret_cast<char *>(entete), 24) != 24
        || png_sig_cmp(entete, 0, 8) != 0 || qFromBigEndian<quint32>(entete + 12) != 0x49484452)
        return {};
    const quint32 largeur = qFromBigEndian<quint32>(entete + 16),
                  hauteur = qFromBigEndian<quint32>(entete + 20);
    return largeur > 0 && hauteur > 0 && largeur < (1u << 30) && hauteur < (1u << 30)
        ? QSize(int(largeur), int(hauteur))
        : QSize();
}

QImage decoderLignesPng(QIODevice *fichier, QRect partie)
{
    if (!fichier->seek(0))
        return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, erreur, avertissement);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    Etat etat {partie, {}, {}};
    bool fait = false;
    if (info) {
        png_set_read_fn(png, fichier, lire);
        fait = decoder(png, info, &etat);
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (fait && etat.image.hasAlphaChannel())
        etat.image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return fait ? etat.image : QImage();
}
