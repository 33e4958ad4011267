#include "commun.h"
#include "desktop/image/rendu.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A file as Qt's writer does not make it, made by ImageMagick from that picture; options end with the output.
QString convertir(const QImage &image, const char *nom, const QString &options)
{
    const QString cible = dossierImages() + QLatin1String(nom);
    const QString source = ecrireImage(QLatin1String(nom) + QStringLiteral(".png"), image);
    return QProcess::execute(QStringLiteral("convert"), QStringList {source} + options.arg(cible).split(u' '))
            == 0
        ? cible
        : QString();
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
            {"16-bit interlaced PNG",
             convertir(grande, "entrelace.png", QStringLiteral("-interlace PNG PNG64:%1")), grande},
            {"JPEG turned 6", ecrire(QStringLiteral("six.jpg"), jpegTourne(grande, 6)), grande}};
        for (const auto &[nom, chemin, debout] : images)
            for (int position = 1; position <= 5; ++position)
                QTest::addRow("%s, layout %d", nom, position) << chemin << debout << position << int(Montree);

        // Decoding costs no more than the whole picture at 4 bytes a pixel, or twice what shows, whatever the
        // file.
        const QImage petite4 = imageCellules({64, 48});
        // Qt writes a long text compressed (zTXt), before the pixels.
        QImage textes = petite4;
        const QString texte(7000000, u'a');
        for (int i = 0; i < 30; ++i)
            textes.setText(QString::number(i), texte);
        QTest::addRow("PNG of 30 compressed texts")
            << ecrireImage(QStringLiteral("textes.png"), textes) << petite4 << 5 << int(Montree);
        // Progressive, every component at full resolution, and bytes after its end, as some editors leave. Qt
        // holds every coefficient of a progressive JPEG: 6 bytes a pixel here.
        const QImage photo = imageCellules({5000, 3000});
        const QString jpeg
            = convertir(photo, "photo444.jpg", QStringLiteral("-sampling-factor 1x1 -interlace JPEG %1"));
        QFile suite(jpeg);
        QVERIFY(suite.open(QIODevice::Append) && suite.write(QByteArray(28, '\0')) == 28);
        QTest::addRow("progressive 4:4:4 JPEG, bytes after its end") << jpeg << photo << 5 << int(Gourmande);

        // What may take a picture's place is opened at most, never waited on.
        const auto n = [](const char *nom) {
            return QFile::encodeName(dossierImages() + QLatin1String(nom));
        };
        const QString vraie = ecrireImage(QStringLiteral("vraie.png"), petite4);
        QFile lue(vraie);
        QVERIFY(lue.open(QIODevice::ReadOnly));
        QVERIFY(!ecrire(QStringLiteral("coupee.png"), lue.read(lue.size() / 2)).isEmpty());
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
