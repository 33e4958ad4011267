// Drives the desktop backend once from a shell, then watches the screen for what the real desktop draws.
#include "commun.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTextStream>
#include <QThread>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    int position = 0, attendue = 0, secondes = 0, delai = 10;
    QString image, vue, capture;
    QList<QRect> ignores;
    bool valide = true;
    while (valide && !arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--position") && !arguments.isEmpty()) {
            position = arguments.takeFirst().toInt(&valide);
        } else if (argument == QLatin1String("--ignorer") && !arguments.isEmpty()) {
            const QStringList v = arguments.takeFirst().split(QLatin1Char(','));
            valide = v.size() == 4;
            ignores << QRect(v.value(0).toInt(), v.value(1).toInt(), v.value(2).toInt(), v.value(3).toInt());
        } else if (argument == QLatin1String("--delai") && !arguments.isEmpty()) {
            delai = arguments.takeFirst().toInt(&valide);
        } else if (argument == QLatin1String("--capture") && !arguments.isEmpty()) {
            capture = arguments.takeFirst();
        } else if (argument == QLatin1String("--voir") && arguments.size() >= 3) {
            vue = arguments.takeFirst();
            attendue = arguments.takeFirst().toInt(&valide);
            secondes = arguments.takeFirst().toInt();
        } else {
            valide = !argument.startsWith(QLatin1String("--")) && image.isEmpty();
            image = argument;
        }
    }
    if (!valide || (position == 0 && image.isEmpty() && vue.isEmpty())) {
        QTextStream(stderr)
            << "usage: appliquer [--delai <seconds>] [--position 1..5] [picture] [--ignorer x,y,w,h]... "
               "[--capture <command>] [--voir <picture> <layout 1..5, 0: any> <seconds>]\n"
               "Shows the picture and/or stores the layout through the backend, waiting for the "
               "desktop up to --delai (10 s); with --voir, then waits until the screen (the X "
               "root, or the PNG the --capture command prints) shows that picture in that layout.\n";
        return 2;
    }
    if (position != 0 || !image.isEmpty()) {
        std::unique_ptr<Bureau> bureau = creerBureau();
        // A family with no backend falls back to "nul", which would pass for a desktop that ignores us.
        if (bureau->nom() == QLatin1String("nul")
            && qEnvironmentVariable("PAPIROL2_BUREAU") != QLatin1String("nul")) {
            QTextStream(stderr) << "appliquer: no backend for PAPIROL2_BUREAU\n";
            return 3;
        }
        if (position != 0)
            disposerSur(*bureau, position);
        // The desktop runs in another folder: a relative name would mean something else there.
        if (!image.isEmpty())
            montrerSur(*bureau, QFileInfo(image).absoluteFilePath(), delai * 1000);
    }
    QElapsedTimer chrono;
    chrono.start();
    QString pourquoi;
    const auto capturer = [&capture] {
        if (capture.isEmpty())
            return captureRacine();
        QProcess p;
        p.start(QStringLiteral("sh"), {QStringLiteral("-c"), capture});
        p.waitForFinished();
        return QImage::fromData(p.readAllStandardOutput(), "PNG");
    };
    while (!vue.isEmpty() && !montre(capturer(), QImage(vue), attendue, &pourquoi, ignores)) {
        if (chrono.elapsed() > secondes * 1000) {
            QTextStream(stdout) << "last capture " << pourquoi << '\n';
            if (secondes > 0)
                capturer().save(
                    QStringLiteral("traces/capture-%1.png").arg(QCoreApplication::applicationPid()));
            return 1;
        }
        QThread::msleep(100);
    }
    return 0;
}
