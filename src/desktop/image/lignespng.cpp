#include "lignespng.h"
#include "reducteur.h"
#include "rendu.h"

#include "desktop/bureau.h"

#include <QIODevice>

#include <csetjmp>
#include <vector>

#include <png.h>

namespace {
void lire(png_structp png, png_bytep donnees, size_t taille)
{
    auto *fichier = static_cast<QIODevice *>(png_get_io_ptr(png));
    // A drawing given up starves the device: that ends the decoding like a truncated file.
    if (fichier->read(reinterpret_cast<char *>(donnees), qint64(taille)) != qint64(taille))
        png_error(png, "file truncated, or drawing given up");
}

void erreur(png_structp png, png_const_charp message)
{
    qCWarning(lcBureau) << "PNG:" << message;
    png_longjmp(png, 1);
}

void avertissement(png_structp, png_const_charp) { }

// What outlives a longjmp out of decoder(): everything with a destructor lives here, in the caller's frame.
struct Etat
{
    const PlanDecodage &plan;
    qint64 octetsMax;
    QImage image;
    std::vector<uchar> ligne;
    ReducteurLignes reducteur;
    bool entiere = false;
};

// No object with a destructor lives in this frame: libpng leaves it by longjmp on any error.
bool decoder(png_structp png, png_infop info, Etat *etat)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    png_uint_32 largeur = 0, hauteur = 0;
    int profondeur = 0, type = 0, entrelacement = 0;
    png_get_IHDR(png, info, &largeur, &hauteur, &profondeur, &type, &entrelacement, nullptr, nullptr);
    const QRect source = etat->plan.source;
    if (!QRect(0, 0, int(largeur), int(hauteur)).contains(source))
        png_error(png, "size unlike the header read before");
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    // Whatever the file holds, rows come as QImage's 32-bit pixels in memory: B, G, R, A (or 255).
    png_set_expand(png);
    png_set_scale_16(png);
    if (!(type & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(largeur) * 4)
        png_error(png, "unexpected row layout");

    if (passes > 1) {
        if (qint64(largeur) * hauteur * 4 > etat->octetsMax)
            png_error(png, "an interlaced picture this large would cost too much");
        etat->image = nouvelleImage(QSize(int(largeur), int(hauteur)),
                                    alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (etat->image.isNull())
            png_error(png, "out of memory");
        for (int passe = 0; passe < passes; ++passe)
            for (png_uint_32 y = 0; y < hauteur; ++y)
                png_read_row(png, etat->image.scanLine(int(y)), nullptr);
        etat->entiere = true;
        return true;
    }

    if (!etat->reducteur.preparer(source, etat->plan.sortie, alpha))
        png_error(png, "out of memory");
    etat->ligne.resize(size_t(largeur) * 4);
    for (int y = 0; y <= source.bottom(); ++y) {
        png_read_row(png, etat->ligne.data(), nullptr);
        if (y >= source.top())
            etat->reducteur.ajouter(etat->ligne.data());
    }
    return true;
}
} // namespace

QImage decoderPngParLignes(QIODevice *fichier, const PlanDecodage &plan, qint64 octetsMax)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, erreur, avertissement);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    Etat etat {plan, octetsMax, {}, {}, {}};
    bool fait = false;
    if (info) {
        png_set_read_fn(png, fichier, lire);
        fait = decoder(png, info, &etat);
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!fait)
        return {};
    // Interlaced: the whole picture, of which the plan's part is taken now.
    return etat.entiere ? reduireSurPlace(etat.image, plan) : etat.reducteur.image();
}
