#include "fondssway.h"
#include "commun/chemins.h"

#include "desktop/bureau.h"
#include "desktop/image/rendu.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtEndian>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// Files of ours in the folder, written ones and half-written ones alike.
const QLatin1String prefixe("fond-");

// swaybg reads through gdk-pixbuf: an uncompressed BMP loads at a memory copy's speed, where PNG, even
// stored unfiltered, costs it ten times more and us more still to write. 32 bits a pixel, rows top down: the
// picture's own memory, written as it is (opaque: RGB32 keeps 0xff beside each pixel).
bool ecrireBmp(QIODevice *fichier, const QImage &image)
{
    if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return QImageWriter(fichier, "bmp").write(image);
    const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
    const qint64 ligne = qint64(rgb32.width()) * 4;
    QByteArray entete(14 + 40, '\0');
    char *p = entete.data();
    const auto ecrire = [&p](auto valeur) {
        qToLittleEndian(valeur, p);
        p += sizeof valeur;
    };
    *p++ = 'B';
    *p++ = 'M';
    ecrire(quint32(entete.size() + ligne * rgb32.height()));
    ecrire(quint32(0));
    ecrire(quint32(entete.size()));
    ecrire(quint32(40));
    ecrire(qint32(rgb32.width()));
    // Negative: the rows top down, as in memory.
    ecrire(qint32(-rgb32.height()));
    ecrire(quint16(1));
    ecrire(quint16(32));
    // No compression, the pixels' size, 72 dpi, no palette.
    ecrire(quint32(0));
    ecrire(quint32(ligne * rgb32.height()));
    ecrire(qint32(2835));
    ecrire(qint32(2835));
    if (fichier->write(entete) != entete.size())
        return false;
    for (int y = 0; y < rgb32.height(); ++y) {
        if (fichier->write(reinterpret_cast<const char *>(rgb32.constScanLine(y)), ligne) != ligne)
            return false;
    }
    return true;
}
} // namespace

QList<SortieSway> lireSortiesSway(const QByteArray &reponse)
{
    QList<SortieSway> sorties;
    for (const QJsonValue &valeur : QJsonDocument::fromJson(reponse).array()) {
        const QJsonObject sortie = valeur.toObject();
        const QJsonObject mode = sortie.value(QLatin1String("current_mode")).toObject();
        QSize taille(mode.value(QLatin1String("width")).toInt(), mode.value(QLatin1String("height")).toInt());
        const QString nom = sortie.value(QLatin1String("name")).toString();
        if (!sortie.value(QLatin1String("active")).toBool() || taille.isEmpty() || nom.isEmpty())
            continue;
        // swaybg draws in the output's own frame: on an output turned a quarter, that is the mode transposed.
        const QString tour = sortie.value(QLatin1String("transform")).toString();
        if (tour.endsWith(QLatin1String("90")) || tour.endsWith(QLatin1String("270")))
            taille.transpose();
        sorties.append({nom, taille});
    }
    return sorties;
}

FondsSway rendreFondsSway(const QString &chemin, Disposition disposition, const QList<SortieSway> &sorties)
{
    // Private to this user, and in memory where the session has a runtime folder: where swaybg reads it.
    const QString dossier = dossierExecution();
    if (dossier.isEmpty()) {
        qCWarning(lcBureau) << "no private folder to draw for sway in";
        return {};
    }
    QList<QRect> ecrans;
    for (const SortieSway &sortie : sorties)
        ecrans.append(QRect(QPoint(0, 0), sortie.taille));
    RenduEcrans rendu;
    if (!rendu.preparer(chemin, disposition, ecrans))
        return {{}, true};
    // A new name each time: sway keeps the path to start swaybg again (on a reload, say), so the file shown
    // stays until another is; pid and count tell apart two processes, or two pictures in the same
    // millisecond.
    static std::atomic<quint64> compte {0};
    const QString base = QStringLiteral("%1/%2%3-%4-%5-")
                             .arg(dossier, prefixe)
                             .arg(QDateTime::currentMSecsSinceEpoch())
                             .arg(::getpid())
                             .arg(++compte);
    FondsSway fonds;
    for (const auto &[taille, image] : rendu.images()) {
        const QString nom = base + QStringLiteral("%1x%2.bmp").arg(taille.width()).arg(taille.height());
        QSaveFile fichier(nom);
        if (!fichier.open(QIODevice::WriteOnly) || !ecrireBmp(&fichier, image) || !fichier.commit()) {
            qCWarning(lcBureau) << "cannot write" << nom << fichier.errorString();
            for (const auto &[t, ecrit] : std::as_const(fonds.fichiers))
                QFile::remove(ecrit);
            return {};
        }
        fonds.fichiers.append({taille, nom});
    }
    return fonds;
}

QByteArray commandeFondsSway(const FondsSway &fonds, const QList<SortieSway> &sorties)
{
    const auto fichierPour = [&fonds](QSize taille) {
        for (const auto &[t, fichier] : fonds.fichiers)
            if (t == taille)
                return fichier;
        return QString();
    };
    if (sorties.isEmpty() || fichierPour(sorties.first().taille).isEmpty())
        return {};
    // Every output first, so that one plugged later shows the picture too, stretched; then those of another
    // size. sway starts swaybg again for each command: the fewer the better.
    const QSize premiere = sorties.first().taille;
    QByteArray commande
        = "output * bg \"" + echapperPourWordexp(QFile::encodeName(fichierPour(premiere))) + "\" stretch";
    for (const SortieSway &sortie : sorties) {
        const QString fichier = fichierPour(sortie.taille);
        if (sortie.taille == premiere)
            continue;
        if (fichier.isEmpty() || sortie.nom.contains(QLatin1Char('\n')))
            return {};
        commande += "; output \"" + echapperPourWordexp(sortie.nom.toUtf8()) + "\" bg \""
            + echapperPourWordexp(QFile::encodeName(fichier)) + "\" stretch";
    }
    return commande;
}

void remplacerFondsSway(const QStringList &montres, const QDateTime &envoi)
{
    const QString execution = dossierExecution();
    if (execution.isEmpty())
        return;
    // Only older files: another process may have drawn a newer one, that sway is about to be given.
    const QDir dossier(execution);
    for (const QFileInfo &fichier :
         dossier.entryInfoList({prefixe + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (!montres.contains(fichier.absoluteFilePath()) && fichier.lastModified() < envoi)
            QFile::remove(fichier.absoluteFilePath());
    }
}

void oublierFondsSway(const QStringList &fichiers)
{
    for (const QString &fichier : fichiers)
        QFile::remove(fichier);
}

// sway hands the path to wordexp(), which runs $(...) and expands $VAR, globs and quotes: every byte
// that could mean something there is escaped. '$' goes in single quotes, since sway's own variable
// substitution looks behind a backslash but not into quotes.
QByteArray echapperPourWordexp(const QByteArray &octets)
{
    QByteArray sortie;
    for (const char c : octets) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '/' || c == '.' || c == '_' || c == '-') {
            sortie += c;
        } else if (c == '$') {
            sortie += "'$'";
        } else {
            sortie += '\\';
            sortie += c;
        }
    }
    return sortie;
}
