#include "commun.h"
#include "desktop/image/rendu.h"

#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray gb(quint32 valeur)
{
    valeur = qToBigEndian(valeur);
    return QByteArray(reinterpret_cast<const char *>(&valeur), 4);
}

QByteArray blocPng(const QByteArray &type, const QByteArray &donnees)
{
    const QByteArray corps = type + donnees;
    quint32 crc = ~0u;
    for (const char o : corps)
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - ((crc ^ (quint8(o) >> i)) & 1u)));
    return gb(quint32(donnees.size())) + corps + gb(~crc);
}

// A PNG as Qt's writer does not make it: 16-bit RGBA, interlaced or not, with other chunks before the pixels.
QByteArray png16(const QImage &image, bool entrelace, const QByteArray &avant = {})
{
    const int w = image.width(), h = image.height();
    // Adam7's passes: first column and row, then steps; a picture not interlaced is one pass of them all.
    const int passes[8][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}, {0, 0, 1, 1}};
    QByteArray lignes;
    lignes.reserve(qsizetype(w + 1) * h * 8);
    for (int p = entrelace ? 0 : 7; p < (entrelace ? 7 : 8); ++p)
        for (int y = passes[p][1]; y < h && passes[p][0] < w; y += passes[p][3]) {
            lignes += '\0';
            for (int x = passes[p][0]; x < w; x += passes[p][2]) {
                const QRgb c = image.pixel(x, y);
                for (const int v : {qRed(c), qGreen(c), qBlue(c), 255})
                    lignes += QByteArray(2, char(v));
            }
        }
    return QByteArray("\x89PNG\r\n\x1a\n", 8)
        + blocPng("IHDR", gb(w) + gb(h) + QByteArray("\x10\x06\0\0", 4) + char(entrelace)) + avant
        + blocPng("IDAT", qCompress(lignes, 1).mid(4)) + blocPng("IEND", {});
}

// A JPEG as a camera stores it: the pixels as the sensor saw them, and an Exif orientation tag (1..8).
QByteArray jpegTourne(const QImage &debout, quint8 orientation)
{
    const int angle = orientation == 3 ? 180 : orientation == 6 ? -90 : 90;
    QBuffer tampon;
    tampon.open(QIODevice::WriteOnly);
    debout.transformed(QTransform().rotate(angle)).save(&tampon, "JPEG", 95);
    // APP1 of 34 bytes: a big-endian TIFF header with one entry, Orientation (0x0112), SHORT, 1 value.
    QByteArray app1("\xff\xe1\0\x22"
                    "Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0",
                    36);
    app1[29] = char(orientation);
    return tampon.buffer().insert(2, app1);
}

QString ecrire(const QString &nom, const QByteArray &octets)
{
    QFile f(dossierImages() + nom);
    return f.open(QIODevice::WriteOnly) && f.write(octets) == octets.size() ? f.fileName() : QString();
}

// The process's resident memory now, or at its peak since the last reset, in bytes.
qint64 memoire(const char *champ)
{
    QFile etat(QStringLiteral("/proc/self/status"));
    etat.open(QIODevice::ReadOnly);
    const QByteArray texte = etat.readAll();
    return texte.mid(texte.indexOf(champ) + 6).trimmed().split(' ').value(0).toLongLong() * 1024;
}

// What becomes of a file: shown within the memory floor or beyond it, refused though readable, or unreadable.
enum Issue { Montree, Gourmande, Refusee, Illisible };
} // namespace

class TestDisposition final : public QObject
{
    Q_OBJECT

private slots:
    void montree_data()
    {
        // Every layout of pictures larger and smaller than the screen, through each way of decoding.
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QImage>("debout");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("issue");
        const QImage grande = imageCellules({900, 700}), petite = imageCellules({90, 70});
        const QList<std::tuple<const char *, QString, QImage>> images {
            {"PNG", ecrireImage(QStringLiteral("grande.png"), grande), grande},
            {"small PNG", ecrireImage(QStringLiteral("petite.png"), petite), petite},
            {"16-bit interlaced PNG", ecrire(QStringLiteral("entrelace.png"), png16(grande, true)), grande},
            {"palette PNG",
             ecrireImage(QStringLiteral("p.png"), grande.convertToFormat(QImage::Format_Indexed8)), grande},
            {"JPEG turned 6", ecrire(QStringLiteral("six.jpg"), jpegTourne(grande, 6)), grande},
            {"JPEG turned 8", ecrire(QStringLiteral("huit.jpg"), jpegTourne(grande, 8)), grande},
            {"BMP", ecrireImage(QStringLiteral("grande.bmp"), grande), grande}};
        for (const auto &[nom, chemin, debout] : images)
            for (int position = 1; position <= 5; ++position)
                QTest::addRow("%s, layout %d", nom, position) << chemin << debout << position << int(Montree);

        // Decoding costs no more than the whole picture at 4 bytes a pixel, or twice what shows, whatever the
        // file.
        const QImage lourde = imageCellules({4096, 2048}), petite4 = imageCellules({64, 48});
        QTest::addRow("large 16-bit interlaced PNG")
            << ecrire(QStringLiteral("lourde.png"), png16(lourde, true)) << lourde << 5 << int(Montree);
        const QByteArray texte
            = blocPng("zTXt", QByteArray("Comment\0\0", 9) + qCompress(QByteArray(7000000, 'a'), 9).mid(4));
        QTest::addRow("PNG of 30 compressed texts")
            << ecrire(QStringLiteral("textes.png"), png16(petite4, false, texte.repeated(30))) << petite4 << 5
            << int(Montree);
        // Progressive, every component at full resolution, and bytes after its end, as some editors leave. Qt
        // holds every coefficient of a progressive JPEG: 6 bytes a pixel here.
        const QImage photo = imageCellules({5000, 3000});
        const QString jpeg = dossierImages() + QStringLiteral("photo444.jpg");
        QCOMPARE(QProcess::execute(QStringLiteral("convert"),
                                   QStringList {ecrireImage(QStringLiteral("photo.png"), photo)}
                                       + QStringLiteral("-sampling-factor 1x1 -interlace JPEG").split(u' ')
                                       + QStringList {jpeg}),
                 0);
        QFile suite(jpeg);
        QVERIFY(suite.open(QIODevice::Append) && suite.write(QByteArray(28, '\0')) == 28);
        QTest::addRow("progressive 4:4:4 JPEG, bytes after its end") << jpeg << photo << 5 << int(Gourmande);

        // What may take a picture's place is opened at most, never waited on.
        const auto n = [](const char *nom) {
            return QFile::encodeName(dossierImages() + QLatin1String(nom));
        };
        const QByteArray png = png16(petite4, false);
        QVERIFY(!ecrire(QStringLiteral("vraie.png"), png).isEmpty());
        QVERIFY(!ecrire(QStringLiteral("coupee.png"), png.left(png.size() / 2)).isEmpty());
        QCOMPARE(mkfifo(n("tube").constData(), 0600), 0);
        QCOMPARE(symlink("tube", n("lien-tube").constData()), 0);
        QCOMPARE(symlink(n("vraie.png").constData(), n("lien-image").constData()), 0);
        QCOMPARE(mkdir(n("dossier.png").constData(), 0700), 0);
        for (const auto &[nom, issue] : QList<std::pair<const char *, Issue>> {{"lien-image", Montree},
                                                                               {"coupee.png", Refusee},
                                                                               {"tube", Illisible},
                                                                               {"lien-tube", Illisible},
                                                                               {"dossier.png", Illisible},
                                                                               {"absente.png", Illisible}})
            QTest::newRow(nom) << QString::fromLatin1(n(nom)) << petite4 << 5 << int(issue);
    }

    void montree()
    {
        QFETCH(QString, chemin);
        QFETCH(QImage, debout);
        QFETCH(int, position);
        QFETCH(int, issue);
        QCOMPARE(fichierLisible(chemin), issue != Illisible);
        const QSize ecran(320, 240);
        QFile effacer(QStringLiteral("/proc/self/clear_refs"));
        QVERIFY(effacer.open(QIODevice::WriteOnly) && effacer.write("5") == 1);
        effacer.close();
        const qint64 avant = memoire("VmRSS:");
        const QImage vue = rendrePourEcran(chemin, Disposition(position), ecran);
        const qint64 pic = memoire("VmHWM:") - avant;
        if (issue >= Refusee)
            QVERIFY(vue.isNull());
        QString pourquoi;
        QVERIFY2(issue >= Refusee || montre(vue, debout, position, &pourquoi), qPrintable(pourquoi));
        // Beside libraries' own buffers and the allocator's slack, a few megabytes.
        const qint64 plancher
            = std::max(qint64(debout.width()) * debout.height(), qint64(ecran.width()) * ecran.height() * 2)
            * 4;
        QVERIFY2(issue != Montree || pic <= plancher + (qint64(8) << 20),
                 qPrintable(QStringLiteral("%1 MiB").arg(pic >> 20)));
    }

    void redessinSansDecoder()
    {
        // Screens of sizes already drawn are drawn again from memory: the file is read once.
        const QString chemin = ecrireImage(QStringLiteral("une.png"), imageCellules({64, 48}));
        RenduEcrans rendu;
        QVERIFY(rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 64, 48), QRect(64, 0, 30, 20)}));
        QVERIFY(QFile::remove(chemin));
        QVERIFY(rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 30, 20)}));
        QVERIFY(!rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 50, 50)}));
    }
};

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
