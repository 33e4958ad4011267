#include "rendu.h"
#include "lignespng.h"

#include "commun/chemins.h"
#include "commun/ouvrier.h"

#include <QDateTime>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTransform>

#include <cstring>

namespace {
// The largest photographs cameras take (100 binary megapixels covers the 101-102 Mpx ones); a picture
// claiming more is refused from its header.
constexpr qint64 pixelsMax = qint64(100) << 20;
// What Qt's decoders may allocate: the largest picture at 8 bytes a pixel (16-bit channels), and what is
// decoded for the screen beside it.
constexpr qint64 octetsMax = pixelsMax * 8 + (qint64(256) << 20);

qint64 aire(QSize taille)
{
    return qint64(taille.width()) * taille.height();
}

// Repeats the tile already drawn at the top-left corner over the whole picture.
void repeter(QImage *ecran, QSize tuile)
{
    const int largeur = ecran->width();
    const int hauteur = ecran->height();
    const int hauteurTuile = std::min(tuile.height(), hauteur);
    for (int y = 0; y < hauteurTuile; ++y) {
        auto *ligne = reinterpret_cast<quint32 *>(ecran->scanLine(y));
        for (int rempli = tuile.width(); rempli < largeur; rempli *= 2)
            std::memcpy(ligne + rempli, ligne, size_t(std::min(rempli, largeur - rempli)) * 4);
    }
    const size_t octets = size_t(largeur) * 4;
    for (int y = hauteurTuile; y < hauteur; ++y)
        std::memcpy(ecran->scanLine(y), ecran->constScanLine(y - hauteurTuile), octets);
}

// The area of a decoded picture that the plan shows, at the size it shows: read in place rather than copied,
// since the picture may weigh hundreds of megabytes.
QImage reduire(QImage decodee, QRect zone, const PlanDecodage &plan)
{
    if (decodee.isNull())
        return {};
    if (decodee.depth() < 32)
        decodee = decodee.convertToFormat(decodee.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                    : QImage::Format_RGB32);
    const QImage vue(decodee.constScanLine(zone.top()) + qsizetype(zone.left()) * decodee.depth() / 8,
                     zone.width(), zone.height(), decodee.bytesPerLine(), decodee.format());
    return vue.size() == plan.partie.size()
        ? vue.copy()
        : vue.scaled(plan.partie.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The screen-sized RGB32 picture: the decoded part laid on black as the plan says.
QImage composer(const QImage &decodee, const PlanDecodage &plan, QSize ecran)
{
    if (decodee.isNull() || plan.estVide())
        return {};
    const QImage partie = decodee.size() == plan.partie.size()
        ? decodee
        : decodee.scaled(plan.partie.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The usual filled or stretched case: the decoder's output is the screen already.
    if (partie.size() == ecran && plan.destination.isNull() && !partie.hasAlphaChannel())
        return partie.convertToFormat(QImage::Format_RGB32);
    QImage resultat(ecran, QImage::Format_RGB32);
    if (resultat.isNull())
        return {};
    resultat.fill(Qt::black);
    {
        QPainter peintre(&resultat);
        peintre.drawImage(plan.destination, partie);
    }
    if (plan.pas.isValid())
        repeter(&resultat, plan.pas);
    return resultat;
}

// The rectangle of the picture as stored that shows as r once turned upright; stockee is the stored
// picture's size. Qt mirrors and flips first, then turns a quarter clockwise.
QRect versStocke(QRect r, QSize stockee, QImageIOHandler::Transformations sens)
{
    const bool miroir = sens & QImageIOHandler::TransformationMirror;
    const bool renverse = sens & QImageIOHandler::TransformationFlip;
    const QTransform retournement(miroir ? -1 : 1, 0, 0, renverse ? -1 : 1, miroir ? stockee.width() : 0,
                                  renverse ? stockee.height() : 0);
    const QTransform quart = sens & QImageIOHandler::TransformationRotate90
        ? QTransform(0, 1, -1, 0, stockee.height(), 0)
        : QTransform();
    return (retournement * quart).inverted().mapRect(QRectF(r)).toRect();
}

QImage rendre(const QString &chemin, Disposition disposition, QSize ecran)
{
    FichierImage fichier;
    if (!ouvrirImage(chemin, &fichier))
        return {};
    // PNG first: Qt's reader would inflate all its text to give its size.
    const QSize png = lireTaillePng(&fichier);
    if (png.isValid() && aire(png) <= pixelsMax) {
        const PlanDecodage plan = planDecodage(disposition, png, ecran);
        if (plan.estVide())
            return {};
        const QRect lignes(plan.source.left(), 0, plan.source.width(), plan.source.height());
        return composer(reduire(decoderLignesPng(&fichier, plan.source), lignes, plan), plan, ecran);
    }
    if (!fichier.seek(0))
        return {};
    QImageReader lecteur(&fichier);
    lecteur.setAllocationLimit(int(octetsMax >> 20));
    // A phone photograph taken upright is stored sideways, with its orientation beside it.
    lecteur.setAutoTransform(true);
    const QSize stockee = png.isValid() ? png : lecteur.size();
    if (!stockee.isValid()) {
        // Some decoders know the size only once they have decoded everything: the allocation limit bounds it.
        const QImage entiere = lecteur.read();
        if (entiere.isNull())
            qCWarning(lcImage) << "cannot decode" << chemin << lecteur.errorString();
        const PlanDecodage plan = planDecodage(disposition, entiere.size(), ecran);
        return composer(reduire(entiere, plan.source, plan), plan, ecran);
    }
    if (aire(stockee) > pixelsMax) {
        qCWarning(lcImage) << "picture too large:" << chemin << stockee;
        return {};
    }
    // Huffman coding spends a bit at least on every 8x8 block of luma: a JPEG with fewer bits claims pixels
    // it holds no data for, and a progressive one would hold every coefficient of them.
    const qint64 blocs = qint64((stockee.width() + 7) / 8) * ((stockee.height() + 7) / 8);
    if (lecteur.format() == "jpeg" && fichier.size() * 8 < blocs) {
        qCWarning(lcImage) << "too little data for" << stockee << "in" << chemin;
        return {};
    }
    const QImageIOHandler::Transformations sens = lecteur.transformation();
    const bool quart = sens & QImageIOHandler::TransformationRotate90;
    const PlanDecodage plan = planDecodage(disposition, quart ? stockee.transposed() : stockee, ecran);
    if (plan.estVide())
        return {};
    // The reader scales and clips the picture as stored, then turns what it made. A progressive JPEG costs
    // every coefficient besides: 3 bytes a pixel for 4:2:0, 6 for 4:4:4, 8 for CMYK; cameras write baseline.
    const QSize echelle = quart ? plan.echelle.transposed() : plan.echelle;
    if (echelle != stockee)
        lecteur.setScaledSize(echelle);
    const QRect partie = versStocke(plan.partie, echelle, sens);
    if (partie != QRect(QPoint(0, 0), echelle))
        lecteur.setScaledClipRect(partie);
    const QImage image = lecteur.read();
    if (image.isNull())
        qCWarning(lcImage) << "cannot decode" << chemin << lecteur.errorString();
    return composer(image, plan, ecran);
}

QImage deTaille(const ImagesParTaille &images, QSize taille)
{
    for (const auto &[t, image] : images)
        if (t == taille)
            return image;
    return {};
}
} // namespace

QImage rendrePourEcran(const QString &chemin, Disposition disposition, QSize ecran)
{
    const QImage image = rendre(chemin, disposition, ecran);
    // A drawing given up is not handed over, whatever the decoder made of its starved input.
    if (Ouvrier::arretDemande()) {
        qCInfo(lcImage) << "drawing of" << chemin << "given up";
        return {};
    }
    return image;
}

bool RenduEcrans::preparer(const QString &chemin, Disposition disposition, const QList<QRect> &ecrans)
{
    if (chemin != cheminImage || disposition != dispositionImage) {
        oublier();
        cheminImage = chemin;
        dispositionImage = disposition;
    }
    ImagesParTaille gardees;
    for (const QRect &ecran : ecrans) {
        const QSize taille = ecran.size();
        if (!deTaille(gardees, taille).isNull())
            continue;
        QImage image = deTaille(parTaille, taille);
        if (image.isNull())
            image = rendrePourEcran(cheminImage, dispositionImage, taille);
        if (image.isNull())
            return false;
        gardees.append({taille, image});
    }
    // Sizes no screen has any more are dropped: a few screen-sized pictures at most stay in memory.
    parTaille = gardees;
    return true;
}

void RenduEcrans::oublier()
{
    parTaille.clear();
    cheminImage.clear();
}

QImage assembler(QSize bureau, const QList<QRect> &ecrans, const ImagesParTaille &images)
{
    // One screen over the whole desktop: its picture is the desktop's, no copy.
    if (ecrans.size() == 1 && ecrans.first() == QRect(QPoint(0, 0), bureau))
        return deTaille(images, bureau);
    QImage resultat(bureau, QImage::Format_RGB32);
    if (resultat.isNull())
        return {};
    resultat.fill(Qt::black);
    QPainter peintre(&resultat);
    peintre.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &ecran : ecrans) {
        const QImage image = deTaille(images, ecran.size());
        if (image.isNull())
            return {};
        peintre.drawImage(ecran.topLeft(), image);
    }
    return resultat;
}

QImage composerEcrans(const QList<QPair<QRect, QString>> &ecrans, Disposition disposition)
{
    QRect tout;
    for (const auto &[ecran, chemin] : ecrans)
        tout |= ecran;
    QImage resultat(tout.size(), QImage::Format_RGB32);
    if (resultat.isNull())
        return {};
    resultat.fill(Qt::black);
    QPainter peintre(&resultat);
    for (const auto &[ecran, chemin] : ecrans) {
        const QImage image = rendrePourEcran(chemin, disposition, ecran.size());
        if (image.isNull())
            return {};
        peintre.drawImage(ecran.topLeft() - tout.topLeft(), image);
    }
    return resultat;
}

QString enregistrerRendu(const QString &source, const QImage &image, const QString &prefixe)
{
    QDir dossier(dossierDonnees());
    if (image.isNull() || !dossier.mkpath(QStringLiteral("."))) {
        qCWarning(lcImage) << "cannot make" << dossier.path();
        return {};
    }
    // A photograph stays a JPEG, close to lossless; anything else a lossless PNG at zlib's fastest level
    // (Qt's quality 85): written once, read once, a screen of one colour in some 15 kB rather than 3 MB.
    const bool photo = formatImage(source) == "jpeg";
    QString fichier;
    for (qint64 n = QDateTime::currentMSecsSinceEpoch(); fichier.isEmpty() || QFile::exists(fichier); ++n)
        fichier = dossier.filePath(prefixe + QString::number(n) + QLatin1String(photo ? ".jpg" : ".png"));
    QSaveFile sortie(fichier);
    QImageWriter ecrivain(&sortie, photo ? "jpeg" : "png");
    ecrivain.setQuality(photo ? 95 : 85);
    if (!sortie.open(QIODevice::WriteOnly) || !ecrivain.write(image) || !sortie.commit()) {
        qCWarning(lcImage) << "cannot write" << fichier << ecrivain.errorString() << sortie.errorString();
        return {};
    }
    const QFileInfoList rendus = dossier.entryInfoList({prefixe + QLatin1Char('*')}, QDir::Files, QDir::Time);
    for (qsizetype i = 2; i < rendus.size(); ++i)
        QFile::remove(rendus.at(i).filePath());
    return fichier;
}
