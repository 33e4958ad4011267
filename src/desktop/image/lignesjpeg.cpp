#include "lignesjpeg.h"
#include "reducteur.h"

#include "desktop/bureau.h"

#include <QIODevice>
#include <QTransform>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include <jerror.h>

namespace {
// What libjpeg's own tables and buffers, and the process around the decoder, hold beside what is counted.
constexpr qint64 marge = qint64(48) << 20;
// A placeholder for a coefficient known only to be set: any bit a refinement scan tests reads as set.
constexpr JCOEF pose = 1 << 14;
// Where each position of a scan's spectral range lies in a block.
constexpr std::array<int, 64> zigzag {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                      12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                      35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                      58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct Liberer
{
    void operator()(void *p) const { std::free(p); }
};
template<typename T>
using Memoire = std::unique_ptr<T[], Liberer>;

template<typename T>
Memoire<T> allouer(size_t nombre, bool zero)
{
    return Memoire<T>(static_cast<T *>(zero ? std::calloc(std::max<size_t>(nombre, 1), sizeof(T))
                                            : std::malloc(std::max<size_t>(nombre, 1) * sizeof(T))));
}

// One component's coefficients while a reading keeps one band of block rows whole.
struct Tableau
{
    JDIMENSION largeur = 0, rangees = 0, acces = 0;
    JDIMENSION bandeDebut = 0, bandeFin = 0;
    Memoire<JCOEF> bande;
    // One bit per coefficient of every block: set once it is not zero.
    Memoire<quint64> bits;
    // The rows outside the band that the decoder was last handed, and the pointers it was handed.
    Memoire<JCOEF> fenetre;
    Memoire<JBLOCKROW> lignes;
    JDIMENSION fenetreDebut = 0, fenetreRangees = 0;
    int premier = 0, dernier = 63;
    bool fenetreEcrite = false;

    bool dansBande(JDIMENSION rangee) const { return rangee >= bandeDebut && rangee < bandeFin; }
    JBLOCKROW ligneFenetre(JDIMENSION i) const
    {
        return reinterpret_cast<JBLOCKROW>(fenetre.get() + size_t(i) * largeur * DCTSIZE2);
    }

    // What the decoder wrote outside the band goes back into the bits before anything else is handed out.
    void rendre()
    {
        if (!fenetreEcrite)
            return;
        fenetreEcrite = false;
        for (JDIMENSION i = 0; i < fenetreRangees; ++i) {
            if (dansBande(fenetreDebut + i))
                continue;
            const JBLOCKROW ligne = ligneFenetre(i);
            quint64 *b = &bits[size_t(fenetreDebut + i) * largeur];
            for (JDIMENSION x = 0; x < largeur; ++x) {
                quint64 m = 0;
                for (int k = premier; k <= dernier; ++k)
                    m |= quint64(ligne[x][zigzag[k]] != 0) << zigzag[k];
                b[x] |= m;
            }
        }
    }
};

// What outlives a longjmp out of lire(): everything with a destructor lives here, in the caller's frame.
struct Etat
{
    QIODevice *fichier = nullptr;
    PlanDecodage plan;
    qint64 octetsMax = 0;
    qint64 debut = 0;
    jpeg_decompress_struct jpeg {};
    jpeg_error_mgr erreurs {};
    jpeg_source_mgr source {};
    jmp_buf saut {};
    std::vector<JOCTET> tampon = std::vector<JOCTET>(64 * 1024);
    std::vector<uchar> ligne;
    ReducteurLignes reducteur;
    std::array<Tableau, MAX_COMPONENTS> tableaux;
    int demandes = 0;
    void (*realiserOrigine)(j_common_ptr) = nullptr;

    // Set by the first reading, kept by the next ones.
    int huitiemes = 8;
    int lignesParRangee = 1;
    QRect partie;
    int rangeeDebut = 0, rangeeFin = 0;
    int passes = 1;
    bool parBandes = false;
    bool cmyk = false;
    int passe = 0;
    QImageIOHandler::Transformations sens;

    // The first iMCU row of a reading's band; that of the next reading ends it.
    int bande(int passe) const { return rangeeDebut + (rangeeFin - rangeeDebut) * passe / passes; }
};

Etat *etatDe(j_common_ptr jpeg)
{
    return static_cast<Etat *>(jpeg->client_data);
}

void sortir(j_common_ptr jpeg)
{
    char message[JMSG_LENGTH_MAX];
    jpeg->err->format_message(jpeg, message);
    qCWarning(lcBureau) << "JPEG:" << message;
    longjmp(etatDe(jpeg)->saut, 1);
}

[[noreturn]] void echouer(Etat *etat, const char *pourquoi)
{
    qCWarning(lcBureau) << "JPEG:" << pourquoi;
    longjmp(etat->saut, 1);
}

void signaler(j_common_ptr jpeg)
{
    char message[JMSG_LENGTH_MAX];
    jpeg->err->format_message(jpeg, message);
    qCWarning(lcBureau) << "JPEG:" << message;
}

void ouvrirSource(j_decompress_ptr) { }

boolean remplir(j_decompress_ptr jpeg)
{
    Etat *etat = etatDe(reinterpret_cast<j_common_ptr>(jpeg));
    qint64 lus
        = etat->fichier->read(reinterpret_cast<char *>(etat->tampon.data()), qint64(etat->tampon.size()));
    // A drawing given up starves the device: that is an error, not the file's end.
    if (lus < 0)
        ERREXIT(jpeg, JERR_FILE_READ);
    if (lus == 0) {
        WARNMS(jpeg, JWRN_JPEG_EOF);
        etat->tampon[0] = 0xff;
        etat->tampon[1] = JPEG_EOI;
        lus = 2;
    }
    jpeg->src->next_input_byte = etat->tampon.data();
    jpeg->src->bytes_in_buffer = size_t(lus);
    return TRUE;
}

void sauter(j_decompress_ptr jpeg, long octets)
{
    if (octets <= 0)
        return;
    while (size_t(octets) > jpeg->src->bytes_in_buffer) {
        octets -= long(jpeg->src->bytes_in_buffer);
        remplir(jpeg);
    }
    jpeg->src->next_input_byte += octets;
    jpeg->src->bytes_in_buffer -= size_t(octets);
}

void fermerSource(j_decompress_ptr) { }

// The coefficient controller asks one array per component, in the components' order.
jvirt_barray_ptr demander(j_common_ptr jpeg, int pool, boolean, JDIMENSION largeur, JDIMENSION rangees,
                          JDIMENSION acces)
{
    Etat *etat = etatDe(jpeg);
    if (pool != JPOOL_IMAGE || etat->demandes >= MAX_COMPONENTS)
        ERREXIT1(jpeg, JERR_BAD_POOL_ID, pool);
    Tableau &tableau = etat->tableaux[size_t(etat->demandes++)];
    tableau = Tableau();
    tableau.largeur = largeur;
    tableau.rangees = rangees;
    tableau.acces = acces;
    return reinterpret_cast<jvirt_barray_ptr>(&tableau);
}

void realiser(j_common_ptr jpeg)
{
    Etat *etat = etatDe(jpeg);
    etat->realiserOrigine(jpeg);
    const auto *decodeur = reinterpret_cast<j_decompress_ptr>(jpeg);
    if (etat->demandes != decodeur->num_components)
        ERREXIT(jpeg, JERR_VIRTUAL_BUG);
    // The band of iMCU rows this reading shows, and one more each side for the upsampling's context.
    const int a = etat->bande(etat->passe) - 1, b = etat->bande(etat->passe + 1) + 1;
    for (int c = 0; c < etat->demandes; ++c) {
        Tableau &t = etat->tableaux[size_t(c)];
        const JDIMENSION v = JDIMENSION(decodeur->comp_info[c].v_samp_factor);
        t.bandeDebut = std::min(t.rangees, JDIMENSION(std::max(0, a)) * v);
        t.bandeFin = std::min(t.rangees, JDIMENSION(b) * v);
        const size_t blocs = size_t(t.largeur) * DCTSIZE2;
        t.bande = allouer<JCOEF>(size_t(t.bandeFin - t.bandeDebut) * blocs, true);
        t.bits = allouer<quint64>(size_t(t.rangees) * t.largeur, true);
        t.fenetre = allouer<JCOEF>(size_t(t.acces) * blocs, false);
        t.lignes = allouer<JBLOCKROW>(t.acces, false);
        if (!t.bande || !t.bits || !t.fenetre || !t.lignes)
            ERREXIT1(jpeg, JERR_OUT_OF_MEMORY, 0);
    }
}

JBLOCKARRAY acceder(j_common_ptr jpeg, jvirt_barray_ptr pointeur, JDIMENSION debut, JDIMENSION rangees,
                    boolean ecrire)
{
    auto &t = *reinterpret_cast<Tableau *>(pointeur);
    t.rendre();
    if (debut + rangees > t.rangees || rangees > t.acces)
        ERREXIT(jpeg, JERR_BAD_VIRTUAL_ACCESS);
    const auto *decodeur = reinterpret_cast<j_decompress_ptr>(jpeg);
    // Sequential scans decode whole blocks whatever their header says.
    const bool progressif = decodeur->progressive_mode;
    t.premier = ecrire && progressif ? std::clamp(decodeur->Ss, 0, 63) : 0;
    t.dernier = ecrire && progressif ? std::clamp(decodeur->Se, 0, 63) : 63;
    const bool raffinement = ecrire && progressif && decodeur->Ah != 0;
    for (JDIMENSION i = 0; i < rangees; ++i) {
        const JDIMENSION rangee = debut + i;
        if (t.dansBande(rangee)) {
            t.lignes[i] = reinterpret_cast<JBLOCKROW>(t.bande.get()
                                                      + size_t(rangee - t.bandeDebut) * t.largeur * DCTSIZE2);
            continue;
        }
        const JBLOCKROW ligne = t.ligneFenetre(i);
        t.lignes[i] = ligne;
        // Rows read outside the band make output rows that are skipped.
        if (!ecrire) {
            std::memset(ligne, 0, size_t(t.largeur) * sizeof(JBLOCK));
            continue;
        }
        // A first scan finds its coefficients zero; a refinement, only whether each is set.
        const quint64 *b = &t.bits[size_t(rangee) * t.largeur];
        for (JDIMENSION x = 0; x < t.largeur; ++x)
            for (int k = t.premier; k <= t.dernier; ++k)
                ligne[x][zigzag[k]] = raffinement && (b[x] >> zigzag[k] & 1) ? pose : 0;
    }
    t.fenetreDebut = debut;
    t.fenetreRangees = rangees;
    t.fenetreEcrite = ecrire;
    return t.lignes.get();
}

// What holding the coefficients costs, per iMCU row: 2 bytes a coefficient, every component.
qint64 octetsParRangee(j_decompress_ptr jpeg)
{
    qint64 blocs = 0;
    for (int c = 0; c < jpeg->num_components; ++c) {
        const jpeg_component_info &composante = jpeg->comp_info[c];
        const qint64 largeur = (composante.width_in_blocks + composante.h_samp_factor - 1)
            / composante.h_samp_factor * composante.h_samp_factor;
        blocs += largeur * composante.v_samp_factor;
    }
    return blocs * qint64(sizeof(JBLOCK));
}

// The part of the stored picture that shows as that part of the upright one, which Qt turns by mirroring
// first, then a quarter clockwise.
QRect versStockee(QRect droite, QSize stockee, QImageIOHandler::Transformations sens)
{
    const int w = stockee.width(), h = stockee.height();
    int x0 = droite.left(), x1 = x0 + droite.width(), y0 = droite.top(), y1 = y0 + droite.height();
    if (sens & QImageIOHandler::TransformationRotate90) {
        // Upright (x, y) was (y, h - x) once mirrored.
        const int ax0 = x0, ax1 = x1;
        x0 = y0;
        x1 = y1;
        y0 = h - ax1;
        y1 = h - ax0;
    }
    if (sens & QImageIOHandler::TransformationMirror) {
        const int ax0 = x0;
        x0 = w - x1;
        x1 = w - ax0;
    }
    if (sens & QImageIOHandler::TransformationFlip) {
        const int ay0 = y0;
        y0 = h - y1;
        y1 = h - ay0;
    }
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

// The part's rows, scale and readings, from the first header read.
void planifier(Etat *etat)
{
    j_decompress_ptr jpeg = &etat->jpeg;
    const QSize stockee(int(jpeg->image_width), int(jpeg->image_height));
    const bool quart = etat->sens & QImageIOHandler::TransformationRotate90;
    const QRect source = versStockee(etat->plan.source, stockee, etat->sens);
    const QSize sortie = quart ? etat->plan.sortie.transposed() : etat->plan.sortie;
    if (!QRect(QPoint(0, 0), stockee).contains(source))
        echouer(etat, "size unlike the header read before");
    // The smallest scale that keeps the part at least the output's size.
    int huitiemes = 1;
    while (huitiemes < 8
           && (qint64(source.width()) * huitiemes < qint64(sortie.width()) * 8
               || qint64(source.height()) * huitiemes < qint64(sortie.height()) * 8))
        ++huitiemes;
    etat->huitiemes = huitiemes;
    jpeg->scale_num = unsigned(huitiemes);
    jpeg->scale_denom = 8;
    jpeg_calc_output_dimensions(jpeg);
    const qint64 w = jpeg->image_width, h = jpeg->image_height;
    const qint64 sw = jpeg->output_width, sh = jpeg->output_height;
    const int x0 = int(source.left() * sw / w), y0 = int(source.top() * sh / h);
    const int x1 = int(std::clamp<qint64>((qint64(source.right()) + 1) * sw / w, x0 + 1, sw));
    const int y1 = int(std::clamp<qint64>((qint64(source.bottom()) + 1) * sh / h, y0 + 1, sh));
    etat->partie = QRect(x0, y0, x1 - x0, y1 - y0);
    etat->lignesParRangee = jpeg->max_v_samp_factor * jpeg->min_DCT_scaled_size;
    etat->rangeeDebut = y0 / etat->lignesParRangee;
    etat->rangeeFin = (y1 + etat->lignesParRangee - 1) / etat->lignesParRangee;

    if (!etat->reducteur.preparer(etat->partie, sortie, false))
        ERREXIT1(jpeg, JERR_OUT_OF_MEMORY, 1);
    etat->ligne.resize(size_t(sw) * 4);
    const qint64 resultat
        = qint64(etat->reducteur.image().sizeInBytes()) + qint64(etat->ligne.size()) + marge;
    const qint64 parRangee = octetsParRangee(jpeg);
    const qint64 rangees
        = (jpeg->image_height + 8 * jpeg->max_v_samp_factor - 1) / (8 * jpeg->max_v_samp_factor);
    etat->parBandes = jpeg_has_multiple_scans(jpeg) && parRangee * rangees + resultat > etat->octetsMax;
    if (!etat->parBandes)
        return;
    // As few readings as keep one band whole (and a bit for every other coefficient) within the budget.
    const int n = etat->rangeeFin - etat->rangeeDebut;
    const qint64 bits = parRangee * rangees / 16;
    int passes = 1;
    while (passes < n && ((n + passes - 1) / passes + 2) * parRangee + bits + resultat > etat->octetsMax)
        ++passes;
    etat->passes = passes;
}

// One reading of the file. No object with a destructor lives in this frame: libjpeg leaves it by longjmp on
// any error.
bool lire(Etat *etat)
{
    j_decompress_ptr jpeg = &etat->jpeg;
    if (setjmp(etat->saut))
        return false;
    jpeg_create_decompress(jpeg);
    if (!etat->fichier->seek(etat->debut))
        ERREXIT(jpeg, JERR_FILE_READ);
    etat->source.init_source = ouvrirSource;
    etat->source.fill_input_buffer = remplir;
    etat->source.skip_input_data = sauter;
    etat->source.resync_to_restart = jpeg_resync_to_restart;
    etat->source.term_source = fermerSource;
    jpeg->src = &etat->source;
    jpeg_read_header(jpeg, TRUE);
    // Smoothing a picture cut short would read blocks beyond a band.
    jpeg->do_block_smoothing = FALSE;
    etat->cmyk = jpeg->jpeg_color_space == JCS_CMYK || jpeg->jpeg_color_space == JCS_YCCK;
    jpeg->out_color_space = etat->cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    if (etat->passe == 0) {
        planifier(etat);
    } else {
        jpeg->scale_num = unsigned(etat->huitiemes);
        jpeg->scale_denom = 8;
    }
    if (etat->parBandes) {
        etat->demandes = 0;
        etat->realiserOrigine = jpeg->mem->realize_virt_arrays;
        jpeg->mem->request_virt_barray = demander;
        jpeg->mem->realize_virt_arrays = realiser;
        jpeg->mem->access_virt_barray = acceder;
    }
    jpeg_start_decompress(jpeg);
    if (jpeg->output_components != 4 || size_t(jpeg->output_width) * 4 != etat->ligne.size())
        echouer(etat, "unexpected row layout");

    // This reading's rows: its band of iMCU rows, within the part.
    const int l = etat->lignesParRangee;
    const int debut = std::max(etat->partie.top(), etat->bande(etat->passe) * l);
    const int fin = std::min(etat->partie.bottom() + 1, etat->bande(etat->passe + 1) * l);
    if (debut > 0)
        jpeg_skip_scanlines(jpeg, JDIMENSION(debut));
    while (jpeg->output_scanline < JDIMENSION(fin)) {
        JSAMPROW ligne = etat->ligne.data();
        jpeg_read_scanlines(jpeg, &ligne, 1);
        if (etat->cmyk) {
            // Inverted, as photo editors store it; black scales the others.
            for (uchar *p = ligne; p < ligne + etat->ligne.size(); p += 4) {
                const int k = p[3];
                const uchar r = uchar(k * p[0] / 255), g = uchar(k * p[1] / 255), b = uchar(k * p[2] / 255);
                p[0] = b;
                p[1] = g;
                p[2] = r;
                p[3] = 0xff;
            }
        }
        etat->reducteur.ajouter(etat->ligne.data());
    }
    return true;
}
} // namespace

QImage decoderJpegParLignes(QIODevice *fichier, const PlanDecodage &plan, qint64 octetsMax,
                            QImageIOHandler::Transformations sens)
{
    Etat etat;
    etat.fichier = fichier;
    etat.plan = plan;
    etat.octetsMax = octetsMax;
    etat.sens = sens;
    etat.debut = fichier->pos();
    etat.jpeg.err = jpeg_std_error(&etat.erreurs);
    etat.erreurs.error_exit = sortir;
    etat.erreurs.output_message = signaler;
    etat.jpeg.client_data = &etat;
    bool fait = true;
    for (etat.passe = 0; fait && etat.passe < etat.passes; ++etat.passe) {
        fait = lire(&etat);
        jpeg_destroy_decompress(&etat.jpeg);
        etat.tableaux = {};
    }
    if (!fait)
        return {};
    if (etat.parBandes)
        qCInfo(lcBureau) << "JPEG coefficients too large for" << (octetsMax >> 20) << "MiB: read in"
                         << etat.passes << "bands";
    // Turned as Qt turns: mirrored first, then a quarter clockwise.
    QImage image = etat.reducteur.image();
    if (sens & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image = image.mirrored(sens & QImageIOHandler::TransformationMirror,
                               sens & QImageIOHandler::TransformationFlip);
    if (sens & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}
