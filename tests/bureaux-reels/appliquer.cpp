// Drives the desktop backend once from a shell: shows the picture (several: one per monitor, primary first)
// and/or stores the layout, waiting for the desktop up to --delai; with --voir (likewise), then waits for
// the real desktop's screen (the X root, grim's with --wayland, or the file --dans names), up to --pendant,
// to show that picture laid out as --en says (1..5, 0: any), each in its monitor's rectangle.
#include "commun.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalSpy>
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
        pendant(QStringLiteral("pendant"), QString(), QStringLiteral("seconds"), QStringLiteral("0")),
        dans(QStringLiteral("dans"), QString(), QStringLiteral("file"));
    ligne.addOptions({position, ignorer, delai, wayland, voir, en, pendant, dans});
    ligne.process(application);
    QStringList images = ligne.positionalArguments();
    const QStringList vues = ligne.values(voir);
    // A family with no backend falls back to "nul": what the desktop then shows fails the caller's check.
    std::unique_ptr<Bureau> bureau
        = ligne.isSet(position) || !images.isEmpty() || vues.size() > 1 ? creerBureau() : nullptr;
    const QList<Bureau::Ecran> ecrans = bureau ? bureau->lireEcrans() : QList<Bureau::Ecran>();
    if (ligne.isSet(position))
        disposerSur(*bureau, ligne.value(position).toInt());
    // The desktop runs in another folder: a relative name would mean something else there.
    for (QString &image : images)
        image = QFileInfo(image).absoluteFilePath();
    if (images.size() > 1) {
        // The one report, on the first picture, says for all.
        QSignalSpy rapport(bureau.get(), &Bureau::imageTraitee);
        bureau->montrerParEcran(ecrans, images);
        if ((rapport.isEmpty() && !rapport.wait(ligne.value(delai).toInt() * 1000))
            || ecrans.size() != images.size()
            || rapport.first().at(1).value<Bureau::Resultat>() != Bureau::Resultat::Montree)
            return 1;
    } else if (!images.isEmpty())
        montrerSur(*bureau, images.first(), ligne.value(delai).toInt() * 1000);
    QList<QRect> ignores;
    for (const QString &zone : ligne.values(ignorer)) {
        const QStringList v = zone.split(QLatin1Char(','));
        ignores << QRect(v.value(0).toInt(), v.value(1).toInt(), v.value(2).toInt(), v.value(3).toInt());
    }
    const QDeadlineTimer fin(ligne.value(pendant).toInt() * 1000);
    const auto capturer = [&] {
        return ligne.isSet(dans)   ? QImage(ligne.value(dans))
            : ligne.isSet(wayland) ? captureWayland()
                                   : captureRacine();
    };
    // The monitors start at 0,0 here; the ignored areas are ignored at the same place in each.
    const auto montreTout = [&](const QImage &capture, QString *pourquoi) {
        bool oui = vues.size() == 1 || vues.size() == ecrans.size();
        for (qsizetype i = 0; oui && i < vues.size(); ++i)
            oui = montre(capture.copy(vues.size() == 1 ? QRect() : ecrans[i].geometrie), QImage(vues[i]),
                         ligne.value(en).toInt(), pourquoi, ignores);
        return oui;
    };
    QString pourquoi;
    while (!vues.isEmpty() && !montreTout(capturer(), &pourquoi)) {
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
