// Time from `papirol2 --changer` to the new picture on the root window, beside the time from a click on the
// tray icon, measured interleaved on one running copy. Both include starting a process (papirol2 for the
// command, xdotool for the click); that of xdotool alone is printed as well. Run it under tests/avec-xvfb.sh
// --trayer (bench/commande.sh does). Nothing is asserted.
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <xcb/xcb.h>

namespace {
xcb_connection_t *connexion = nullptr;
xcb_window_t racine = 0;
int largeur = 0, hauteur = 0;

/** The root's pixel near the bottom-right corner, where no window goes. */
quint32 pixel()
{
    xcb_get_image_reply_t *r
        = xcb_get_image_reply(connexion,
                              xcb_get_image(connexion, XCB_IMAGE_FORMAT_Z_PIXMAP, racine,
                                            int16_t(largeur - 20), int16_t(hauteur - 20), 1, 1, ~0u),
                              nullptr);
    quint32 valeur = 0;
    if (r) {
        memcpy(&valeur, xcb_get_image_data(r), sizeof valeur);
        free(r);
    }
    return valeur & 0xffffff;
}

QString sortie(const QString &programme, const QStringList &arguments)
{
    QProcess p;
    p.start(programme, arguments);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

/** Milliseconds from the start of action to a root pixel other than before; negative when none came. */
template<typename Action>
double mesurer(Action action)
{
    const quint32 avant = pixel();
    QElapsedTimer chrono;
    chrono.start();
    action();
    while (pixel() == avant) {
        if (chrono.elapsed() > 5000)
            return -1;
    }
    return double(chrono.nsecsElapsed()) / 1e6;
}

double mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s <papirol2> [rounds]\n", argv[0]);
        return 1;
    }
    const QString programme = QString::fromLocal8Bit(argv[1]);
    const int tours = argc > 2 ? atoi(argv[2]) : 15;
    connexion = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connexion)) {
        fprintf(stderr, "no X display\n");
        return 1;
    }
    const xcb_screen_t *ecran = xcb_setup_roots_iterator(xcb_get_setup(connexion)).data;
    racine = ecran->root;
    largeur = ecran->width_in_pixels;
    hauteur = ecran->height_in_pixels;

    // Enough pictures of distinct colours that no round draws the one already shown.
    QTemporaryDir travail;
    QDir().mkpath(travail.filePath(QStringLiteral("images")));
    const int images = 4 * tours + 4;
    for (int i = 0; i < images; ++i) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 359 / images, 200, 100 + (i % 3) * 60));
        image.save(travail.filePath(QStringLiteral("images/%1.jpg").arg(i)), "JPG", 95);
    }
    QFile ini(travail.filePath(QStringLiteral("Papirol2.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[Options]\nactive=false\ntimer=600\n[Emplacement_0]\npath=%1\nfiltre=*.jpg\n"
                             "selected=true\n")
                  .arg(travail.filePath(QStringLiteral("images")))
                  .toUtf8());
    ini.close();
    QDir::setCurrent(travail.path());
    qputenv("XDG_RUNTIME_DIR", travail.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", travail.filePath(QStringLiteral(".config")).toUtf8());
    qputenv("PAPIROL2_BUREAU", "x11");

    QProcess copie;
    copie.start(programme, {});
    // The icon: the program's mapped window that is not top-level.
    QString icone;
    for (int i = 0; i < 200 && icone.isEmpty(); ++i) {
        QStringList toutes = sortie(QStringLiteral("xdotool"),
                                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--class"), QStringLiteral("papirol2")})
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &id :
             sortie(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--maxdepth"),
                     QStringLiteral("1"), QStringLiteral("--class"), QStringLiteral("papirol2")})
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            toutes.removeAll(id);
        if (toutes.size() == 1)
            icone = toutes.first();
        else
            QThread::msleep(50);
    }
    if (icone.isEmpty()) {
        fprintf(stderr, "the tray icon did not show\n");
        return 1;
    }
    const QStringList clic {QStringLiteral("mousemove"), QStringLiteral("--window"), icone,
                            QStringLiteral("11"),        QStringLiteral("19"),       QStringLiteral("click"),
                            QStringLiteral("1")};
    // A first change outside the figures: the listing and the first decode are behind it.
    mesurer([&] { QProcess::execute(programme, {QStringLiteral("--changer")}); });

    std::vector<double> commandes, clics, xdotool;
    int manques = 0;
    for (int i = 0; i < tours; ++i) {
        const double c = mesurer([&] { QProcess::execute(programme, {QStringLiteral("--changer")}); });
        // Two clicks closer than the double-click interval would make one double click.
        QThread::msleep(600);
        const double k = mesurer([&] { QProcess::execute(QStringLiteral("xdotool"), clic); });
        QElapsedTimer seul;
        seul.start();
        sortie(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation")});
        xdotool.push_back(double(seul.nsecsElapsed()) / 1e6);
        QThread::msleep(600);
        manques += (c < 0) + (k < 0);
        if (c >= 0)
            commandes.push_back(c);
        if (k >= 0)
            clics.push_back(k);
    }
    copie.terminate();
    copie.waitForFinished(10000);
    printf("time to the new picture on the root window, median of %d interleaved rounds (%dx%d screen):\n",
           tours, largeur, hauteur);
    printf("  papirol2 --changer        %7.1f ms\n", mediane(commandes));
    printf("  click on the tray icon    %7.1f ms   (reference; xdotool's own start: %.1f ms)\n",
           mediane(clics), mediane(xdotool));
    if (manques)
        printf("  %d changes did not show within 5 s\n", manques);
    xcb_disconnect(connexion);
    return 0;
}
