// Peak memory and time of drawing the largest pictures accepted and of decompression bombs, each in a fresh
// process, beside what holding the whole claimed picture would cost; then how long leaving takes while two
// large pictures are being drawn (on $DISPLAY, through the bare-X11 backend), beside drawing one.
#include "commun/ouvrier.h"
#include "desktop/image/rendu.h"
#include "desktop/x11/bureaux11.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {
QSize grande(12800, 8192); // 100 binary megapixels: the largest accepted
const QSize ecran(1920, 1080);

template<typename T>
QByteArray gb(T valeur)
{
    QByteArray octets(sizeof(T), '\0');
    qToBigEndian(valeur, octets.data());
    return octets;
}

QByteArray segment(char marqueur, const QByteArray &corps)
{
    return QByteArray("\xff", 1) + marqueur + gb(quint16(corps.size() + 2)) + corps;
}

/** A flat JPEG with the least data a Huffman-coded one can have (one bit per block and scan), or none at all.
 */
QByteArray jpegMinimal(QSize taille, int composantes, bool progressif, bool sansDonnees, int hY = 1)
{
    QByteArray sof = QByteArray(1, '\x08') + gb(quint16(taille.height())) + gb(quint16(taille.width()))
        + char(composantes);
    QByteArray sos(1, char(composantes));
    for (int i = 1; i <= composantes; ++i) {
        sof += char(i) + QByteArray(1, char(i == 1 ? hY * 16 + hY : 0x11)) + '\0';
        sos += char(i) + QByteArray(1, '\0');
    }
    sos += progressif ? QByteArray(3, '\0') : QByteArray("\0\x3f\0", 3);
    // One code, '0', for DC difference 0 and for end-of-block.
    const QByteArray table = QByteArray(1, '\x01') + QByteArray(15, '\0') + QByteArray(1, '\0');
    const QByteArray dht = segment('\xc4', '\0' + table + (progressif ? QByteArray() : '\x10' + table));
    // One interleaved scan: every MCU holds hY x hY luma blocks and one of each other component.
    const qint64 mcus
        = qint64((taille.width() + 8 * hY - 1) / (8 * hY)) * ((taille.height() + 8 * hY - 1) / (8 * hY));
    const qint64 blocs = mcus * (hY * hY + composantes - 1);
    const QByteArray donnees(sansDonnees ? 0 : (blocs * (progressif ? 1 : 2) + 7) / 8, '\0');
    return QByteArray("\xff\xd8", 2) + segment('\xdb', QByteArray(1, '\0') + QByteArray(64, '\x01'))
        + segment(progressif ? '\xc2' : '\xc0', sof) + dht + segment('\xda', sos) + donnees
        + QByteArray("\xff\xd9", 2);
}

QByteArray bombePng(QSize taille)
{
    const QByteArray ihdr = "IHDR" + gb(quint32(taille.width())) + gb(quint32(taille.height()))
        + QByteArray("\x08\x06\0\0\0", 5);
    quint32 crc = ~0u;
    for (const char o : ihdr)
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - ((crc ^ (quint8(o) >> i)) & 1u)));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + gb(quint32(13)) + ihdr + gb(~crc);
}

/** Something like a photograph, cheap to make: smooth colours with fine detail. */
QImage photo(QSize taille, QImage::Format format)
{
    QImage image(taille, QImage::Format_RGB32);
    for (int y = 0; y < taille.height(); ++y) {
        auto *ligne = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < taille.width(); ++x)
            ligne[x] = qRgb(x * 255 / taille.width(), y * 255 / taille.height(), (x * y) >> 4 & 0xff);
    }
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

bool ecrire(const QString &chemin, const QByteArray &octets)
{
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly) && f.write(octets) == octets.size();
}

bool ecrire(const QString &chemin, const QImage &image, const char *format, bool progressif = false)
{
    QImageWriter ecrivain(chemin, format);
    ecrivain.setQuality(90);
    ecrivain.setCompression(1);
    ecrivain.setProgressiveScanWrite(progressif);
    return ecrivain.write(image);
}

/** A photograph written as Qt's writer cannot: progressive, every component at full resolution (4:4:4, or
 * CMYK as photo editors store it), quality 90; made by ImageMagick from the PNG of it. */
bool ecrireJpegPlein(const QString &chemin, const QString &png, bool cmyk)
{
    QStringList arguments {png,
                           QStringLiteral("-sampling-factor"),
                           QStringLiteral("1x1"),
                           QStringLiteral("-interlace"),
                           QStringLiteral("JPEG"),
                           QStringLiteral("-quality"),
                           QStringLiteral("90")};
    if (cmyk)
        arguments << QStringLiteral("-colorspace") << QStringLiteral("CMYK");
    return QProcess::execute(QStringLiteral("convert"), arguments << chemin) == 0;
}

/** Runs this program again with those arguments; returns what it printed. */
QByteArray mesurer(const QStringList &arguments)
{
    QTemporaryFile fichier;
    fichier.open();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fichier.handle(), 1);
    QList<QByteArray> octets {QFile::encodeName(QCoreApplication::applicationFilePath())};
    for (const QString &a : arguments)
        octets << a.toUtf8();
    std::vector<char *> argv;
    for (QByteArray &a : octets)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return {};
    posix_spawn_file_actions_destroy(&actions);
    int statut = 0;
    waitpid(pid, &statut, 0);
    if (!WIFEXITED(statut) || WEXITSTATUS(statut) != 0)
        fprintf(stderr, "%s ended badly (status %d)\n", qPrintable(arguments.join(QLatin1Char(' '))), statut);
    fichier.seek(0);
    return fichier.readAll().trimmed();
}

// The process's own peak (getrusage would count the parent's, kept across exec).
long picKio()
{
    QFile etat(QStringLiteral("/proc/self/status"));
    etat.open(QIODevice::ReadOnly);
    for (const QByteArray &ligne : etat.readAll().split('\n'))
        if (ligne.startsWith("VmHWM:"))
            return ligne.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int dessiner(const QString &chemin)
{
    QElapsedTimer chrono;
    chrono.start();
    const bool vue = !rendrePourEcran(chemin, Disposition::Rempli, ecran).isNull();
    printf("%s %.0f %.0f\n", vue ? "shown" : "refused", chrono.nsecsElapsed() / 1e6, picKio() / 1024.0);
    return 0;
}

// Drawing one picture; or leaving 300 ms into drawing it, with another waiting; or giving that drawing up
// with no bound, to see how long the starved decoder takes to return.
int quitter(const QString &mode, const QString &image)
{
    QElapsedTimer chrono;
    chrono.start();
    if (mode == QLatin1String("un")) {
        BureauX11 bureau;
        QEventLoop boucle;
        QObject::connect(&bureau, &Bureau::imageTraitee, &boucle, &QEventLoop::quit);
        bureau.montrer(image);
        boucle.exec();
    } else if (mode == QLatin1String("quitter")) {
        BureauX11 bureau;
        bureau.montrer(image);
        bureau.montrer(image);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        chrono.restart();
    } else {
        Ouvrier ouvrier(nullptr);
        ouvrier.lancer(
            [image](const Ouvrier::Poste &) { rendrePourEcran(image, Disposition::Rempli, ecran); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        chrono.restart();
        ouvrier.arreter(-1);
    }
    printf("%.0f\n", chrono.nsecsElapsed() / 1e6);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--dessiner"))
        return dessiner(arguments.value(2));
    if (arguments.value(1) == QLatin1String("--quitter"))
        return quitter(arguments.value(2), arguments.value(3));

    // --court: pictures of 5 Mpx rather than 100, and one round, to see that it runs.
    const bool court = arguments.value(1) == QLatin1String("--court");
    if (court)
        grande = QSize(2560, 2048);
    QTemporaryDir travail;
    // The X11 backend records the last picture: keep that away from the user's own store.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(travail.filePath(QStringLiteral("config"))));
    const auto chemin = [&](const char *nom) {
        return travail.filePath(QString::fromLatin1(nom));
    };
    struct Cas
    {
        const char *nom;
        QString chemin;
        QSize taille;
    };
    QList<Cas> cas;
    const auto ajouter = [&](const char *nom, const char *fichier, QSize taille, bool fait) {
        if (!fait)
            fprintf(stderr, "could not make %s\n", fichier);
        cas.append({nom, chemin(fichier), taille});
    };
    {
        const QImage image = photo(grande, QImage::Format_RGB32);
        ajouter("JPEG baseline 4:2:0", "base.jpg", grande, ecrire(chemin("base.jpg"), image, "jpeg"));
        ajouter("JPEG progressive 4:2:0", "prog.jpg", grande,
                ecrire(chemin("prog.jpg"), image, "jpeg", true));
        ajouter("PNG 8-bit RGB", "rvb8.png", grande, ecrire(chemin("rvb8.png"), image, "png"));
        ajouter("JPEG progressive 4:4:4, photo", "photo444.jpg", grande,
                ecrireJpegPlein(chemin("photo444.jpg"), chemin("rvb8.png"), false));
        ajouter("JPEG progressive CMYK, photo", "photocmyk.jpg", grande,
                ecrireJpegPlein(chemin("photocmyk.jpg"), chemin("rvb8.png"), true));
        ajouter("reference: JPEG of the screen's size", "ecran.jpg", ecran,
                ecrire(chemin("ecran.jpg"), image.copy(QRect(QPoint(0, 0), ecran)), "jpeg"));
    }
    ajouter("PNG 16-bit RGB", "rvb16.png", grande,
            ecrire(chemin("rvb16.png"), photo(grande, QImage::Format_RGBX64), "png"));
    ajouter("JPEG progressive 4:4:4, least data", "p444.jpg", grande,
            ecrire(chemin("p444.jpg"), jpegMinimal(grande, 3, true, false)));
    ajouter("JPEG progressive CMYK, least data", "pcmyk.jpg", grande,
            ecrire(chemin("pcmyk.jpg"), jpegMinimal(grande, 4, true, false)));
    const QSize bombe(16384, 16384), moyenne(10000, 10000);
    ajouter("bomb: progressive 4:2:0, no data", "b420.jpg", bombe,
            ecrire(chemin("b420.jpg"), jpegMinimal(bombe, 3, true, true, 2)));
    ajouter("bomb: progressive CMYK, no data", "bcmyk.jpg", bombe,
            ecrire(chemin("bcmyk.jpg"), jpegMinimal(bombe, 4, true, true)));
    ajouter("bomb: progressive CMYK, no data", "mcmyk.jpg", moyenne,
            ecrire(chemin("mcmyk.jpg"), jpegMinimal(moyenne, 4, true, true)));
    ajouter("bomb: baseline, no data", "b30k.jpg", QSize(30000, 30000),
            ecrire(chemin("b30k.jpg"), jpegMinimal(QSize(30000, 30000), 3, false, true)));
    ajouter("bomb: PNG header only", "b16k.png", QSize(16000, 16000),
            ecrire(chemin("b16k.png"), bombePng(QSize(16000, 16000))));

    // Rounds take the pictures in turn, so that a busy moment of the machine weighs on all of them alike.
    const int tours = court ? 1 : 3;
    QList<QList<QList<QByteArray>>> mesures(cas.size());
    for (int tour = 0; tour < tours; ++tour)
        for (qsizetype i = 0; i < cas.size(); ++i)
            mesures[i].append(mesurer({QStringLiteral("--dessiner"), cas[i].chemin}).split(' '));
    printf("Drawing for a %dx%d screen, filled, each in a fresh process, %d round(s): min / median / max\n",
           ecran.width(), ecran.height(), tours);
    printf("  %-38s %11s %9s %8s %7s %17s   %s\n", "picture", "size", "file KiB", "result", "ms", "peak MiB",
           "reference: whole picture at 4 B/px (target: peak at most 1x)");
    bool complet = true;
    for (qsizetype i = 0; i < cas.size(); ++i) {
        const Cas &c = cas[i];
        std::vector<double> ms, pics;
        for (const QList<QByteArray> &mots : std::as_const(mesures[i])) {
            complet &= mots.size() == 3;
            ms.push_back(mots.value(1).toDouble());
            pics.push_back(mots.value(2).toDouble());
        }
        std::sort(ms.begin(), ms.end());
        std::sort(pics.begin(), pics.end());
        const double reference = double(c.taille.width()) * c.taille.height() * 4 / (1 << 20);
        printf("  %-38s %5dx%-5d %9lld %8s %7.0f %5.0f/%5.0f/%5.0f   %.0f MiB, peak %.2fx\n", c.nom,
               c.taille.width(), c.taille.height(), QFile(c.chemin).size() / 1024,
               mesures[i].first().value(0).constData(), ms[ms.size() / 2], pics.front(),
               pics[pics.size() / 2], pics.back(), reference, pics[pics.size() / 2] / reference);
    }
    if (!complet) {
        fprintf(stderr, "a drawing gave no figure\n");
        return 1;
    }

    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        printf("\nno X display: leaving while drawing not measured\n");
        return 0;
    }
    printf("\nLeaving 300 ms into drawing a 100 Mpx picture while another waits (BureauX11 destroyed)\n");
    printf("  %-10s %10s %22s   %s\n", "picture", "leaving ms", "decoder gave up in ms",
           "reference: drawing one, ms (target: leaving under 1000)");
    for (const char *nom : {"base.jpg", "prog.jpg", "rvb8.png"}) {
        const auto duree = [&](const char *mode) {
            return mesurer({QStringLiteral("--quitter"), QString::fromLatin1(mode), chemin(nom)});
        };
        printf("  %-10s %10s %22s   %s\n", nom, duree("quitter").constData(), duree("abandon").constData(),
               duree("un").constData());
    }
    return 0;
}
