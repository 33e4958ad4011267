#include "commun.h"
#include "desktop/image/rendu.h"

#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray gb(quint32 valeur)
{
    QByteArray octets(4, '\0');
    qToBigEndian(valeur, octets.data());
    return octets;
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

qint64 memoireKio(const char *champ)
{
    QFile etat(QStringLiteral("/proc/self/status"));
    etat.open(QIODevice::ReadOnly);
    for (const QByteArray &ligne : etat.readAll().split('\n'))
        if (ligne.startsWith(champ))
            return ligne.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
} // namespace

class TestDisposition final : public QObject
{
    Q_OBJECT

private slots:
    void montree_data();
    void montree();
    void fichiers_data();
    void fichiers();
    void memoire_data();
    void memoire();
    void redessinSansDecoder();
};

void TestDisposition::montree_data()
{
    // Every layout of pictures larger and smaller than the screen, through each way of decoding.
    QTest::addColumn<QString>("chemin");
    QTest::addColumn<QImage>("debout");
    QTest::addColumn<int>("position");
    const QImage grande = imageCellules({900, 700}), petite = imageCellules({90, 70});
    const QList<std::tuple<const char *, QString, QImage>> images {
        {"PNG", ecrireImage(QStringLiteral("grande.png"), grande), grande},
        {"small PNG", ecrireImage(QStringLiteral("petite.png"), petite), petite},
        {"16-bit interlaced PNG", ecrire(QStringLiteral("entrelace.png"), png16(grande, true)), grande},
        {"palette PNG",
         ecrireImage(QStringLiteral("palette.png"), grande.convertToFormat(QImage::Format_Indexed8)), grande},
        {"JPEG turned 6", ecrire(QStringLiteral("six.jpg"), jpegTourne(grande, 6)), grande},
        {"JPEG turned 3", ecrire(QStringLiteral("trois.jpg"), jpegTourne(grande, 3)), grande},
        {"JPEG turned 8", ecrire(QStringLiteral("huit.jpg"), jpegTourne(grande, 8)), grande},
        {"BMP", ecrireImage(QStringLiteral("grande.bmp"), grande), grande}};
    for (const auto &[nom, chemin, debout] : images)
        for (int position = 1; position <= 5; ++position)
            QTest::addRow("%s, layout %d", nom, position) << chemin << debout << position;

    // Progressive, every component at full resolution, and bytes after its end, as some editors leave.
    const QImage photo = imageCellules({5000, 3000});
    const QString png = ecrireImage(QStringLiteral("photo.png"), photo),
                  jpeg = dossierImages() + QStringLiteral("photo444.jpg");
    QCOMPARE(QProcess::execute(QStringLiteral("convert"),
                               {png, QStringLiteral("-sampling-factor"), QStringLiteral("1x1"),
                                QStringLiteral("-interlace"), QStringLiteral("JPEG"), jpeg}),
             0);
    QFile suite(jpeg);
    QVERIFY(suite.open(QIODevice::Append) && suite.write(QByteArray(28, '\0')) == 28);
    QTest::addRow("progressive 4:4:4 JPEG, bytes after its end") << jpeg << photo << 5;
}

void TestDisposition::montree()
{
    QFETCH(QString, chemin);
    QFETCH(QImage, debout);
    QFETCH(int, position);
    QString pourquoi;
    QVERIFY2(montre(rendrePourEcran(chemin, Disposition(position), {320, 240}), debout, position, &pourquoi),
             qPrintable(pourquoi));
}

void TestDisposition::fichiers_data()
{
    // What takes a picture's place: each is opened at most, never waited on.
    QTest::addColumn<QString>("nom");
    QTest::addColumn<bool>("lisible");
    QTest::addColumn<bool>("montree");
    const QString d = dossierImages();
    const QByteArray image
        = QFile::encodeName(ecrireImage(QStringLiteral("vraie.png"), imageCellules({64, 48})));
    QFile::copy(QFile::decodeName(image), d + QStringLiteral("coupee.png"));
    QFile(d + QStringLiteral("coupee.png")).resize(QFileInfo(QFile::decodeName(image)).size() / 2);
    QCOMPARE(mkfifo(QFile::encodeName(d + QStringLiteral("tube")).constData(), 0600), 0);
    QCOMPARE(symlink("tube", QFile::encodeName(d + QStringLiteral("lien-tube")).constData()), 0);
    QCOMPARE(symlink(image.constData(), QFile::encodeName(d + QStringLiteral("lien-image")).constData()), 0);
    QVERIFY(QDir(d).mkpath(QStringLiteral("dossier.png")));
    const QList<std::tuple<const char *, bool, bool>> cas {
        {"vraie.png", true, true},    {"lien-image", true, true},  {"coupee.png", true, false},
        {"tube", false, false},       {"lien-tube", false, false}, {"dossier.png", false, false},
        {"absente.png", false, false}};
    for (const auto &[nom, lisible, montree] : cas)
        QTest::newRow(nom) << QString::fromLatin1(nom) << lisible << montree;
}

void TestDisposition::fichiers()
{
    QFETCH(QString, nom);
    QFETCH(bool, lisible);
    QFETCH(bool, montree);
    const QString chemin = dossierImages() + nom;
    std::atomic_bool fini {false};
    bool lu = false, vu = false;
    std::thread lecteur([&] {
        lu = fichierLisible(chemin);
        vu = !rendrePourEcran(chemin, Disposition::Rempli, {64, 48}).isNull();
        fini = true;
    });
    // A reader stuck on a pipe is let go, so that the fault fails the row rather than the whole run.
    const bool libre = QTest::qWaitFor([&] { return bool(fini); }, 10000);
    while (!fini)
        close(open(QFile::encodeName(dossierImages() + QStringLiteral("tube")).constData(),
                   O_WRONLY | O_NONBLOCK));
    lecteur.join();
    QVERIFY(libre);
    QCOMPARE(lu, lisible);
    QCOMPARE(vu, montree);
}

void TestDisposition::memoire_data()
{
    // At most the whole picture at 4 bytes a pixel, or twice what shows, whatever the file holds.
    QTest::addColumn<QString>("chemin");
    QTest::addColumn<QSize>("taille");
    QTest::addRow("16-bit interlaced PNG")
        << ecrire(QStringLiteral("lourde.png"), png16(imageCellules({4096, 2048}), true))
        << QSize(4096, 2048);
    const QByteArray texte
        = blocPng("zTXt", QByteArray("Comment\0\0", 9) + qCompress(QByteArray(7000000, 'a'), 9).mid(4));
    QTest::addRow("PNG of 30 compressed texts")
        << ecrire(QStringLiteral("textes.png"), png16(imageCellules({64, 48}), false, texte.repeated(30)))
        << QSize(64, 48);
}

void TestDisposition::memoire()
{
    QFETCH(QString, chemin);
    QFETCH(QSize, taille);
    const QSize ecran(320, 240);
    QFile effacer(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(effacer.open(QIODevice::WriteOnly) && effacer.write("5") == 1);
    effacer.close();
    const qint64 avant = memoireKio("VmRSS:");
    QVERIFY(!rendrePourEcran(chemin, Disposition::Rempli, ecran).isNull());
    const qint64 pic = (memoireKio("VmHWM:") - avant) * 1024;
    // Libraries' own buffers and the allocator's slack: a few megabytes.
    const qint64 plafond
        = std::max(qint64(taille.width()) * taille.height() * 4, qint64(ecran.width()) * ecran.height() * 8)
        + (qint64(8) << 20);
    QVERIFY2(pic <= plafond, qPrintable(QStringLiteral("%1 MiB").arg(pic >> 20)));
}

void TestDisposition::redessinSansDecoder()
{
    // Screens of sizes already drawn are drawn again from memory: the file is read once.
    const QString chemin = ecrireImage(QStringLiteral("une.png"), imageCellules({64, 48}));
    RenduEcrans rendu;
    QVERIFY(rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 64, 48), QRect(64, 0, 30, 20)}));
    QVERIFY(QFile::remove(chemin));
    QVERIFY(rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 30, 20)}));
    QVERIFY(!rendu.preparer(chemin, Disposition::Ajuste, {QRect(0, 0, 50, 50)}));
}

QTEST_GUILESS_MAIN(TestDisposition)
#include "disposition.moc"
