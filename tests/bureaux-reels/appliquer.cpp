// Drives the desktop backend once from a shell: shows the picture and/or stores the layout, waiting for the
// desktop up to --delai; with --voir, then waits up to --pendant for the real desktop's screen (the X root,
// or grim's with --wayland) to show that picture laid out as --en says (1..5, 0: any).
#include "commun.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <QThread>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    QCommandLineParser ligne;
    const QCommandLineOption position(QStringLiteral("position"), QString(), QStringLiteral("1..5")),
        ignorer(QStringLiteral("ignorer"), QString(), QStringLiteral("x,y,w,h")),
        delai(QStringLiteral("delai"), QString(), QStringLiteral("seconds"), QStringLiteral("10")),
        wayland(QStringLiteral("wayland"), QString()),
        voir(QStringLiteral("voir"), QString(), QStringLiteral("file")),
        en(QStringLiteral("en"), QString(), QStringLiteral("layout"), QStringLiteral("0")),
        pendant(QStringLiteral("pendant"), QString(), QStringLiteral("seconds"), QStringLiteral("0"));
    ligne.addOptions({position, ignorer, delai, wayland, voir, en, pendant});
    ligne.process(application);
    const QString image = ligne.positionalArguments().value(0), vue = ligne.value(voir);
    if (ligne.isSet(position) || !image.isEmpty()) {
        // A family with no backend falls back to "nul": what the desktop then shows fails the caller's check.
        std::unique_ptr<Bureau> bureau = creerBureau();
        if (ligne.isSet(position))
            disposerSur(*bureau, ligne.value(position).toInt());
        // The desktop runs in another folder: a relative name would mean something else there.
        if (!image.isEmpty())
            montrerSur(*bureau, QFileInfo(image).absoluteFilePath(), ligne.value(delai).toInt() * 1000);
    }
    QList<QRect> ignores;
    for (const QString &zone : ligne.values(ignorer)) {
        const QStringList v = zone.split(QLatin1Char(','));
        ignores << QRect(v.value(0).toInt(), v.value(1).toInt(), v.value(2).toInt(), v.value(3).toInt());
    }
    const QDeadlineTimer fin(ligne.value(pendant).toInt() * 1000);
    const auto capturer = [&] {
        return ligne.isSet(wayland) ? captureWayland() : captureRacine();
    };
    QString pourquoi;
    while (!vue.isEmpty() && !montre(capturer(), QImage(vue), ligne.value(en).toInt(), &pourquoi, ignores)) {
        if (fin.hasExpired()) {
            QTextStream(stdout) << "last capture " << pourquoi << '\n';
            if (ligne.value(pendant).toInt() > 0)
                capturer().save(QStringLiteral("traces/capture-%1.png").arg(application.applicationPid()));
            return 1;
        }
        QThread::msleep(100);
    }
    return 0;
}
