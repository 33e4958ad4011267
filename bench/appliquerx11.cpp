// Shows one picture through the bare-X11 backend, or one per monitor, and exits once it is on the screen;
// prints how long the backend took, in milliseconds.
#include "desktop/x11/bureaux11.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTextStream>

#include <memory>

int main(int argc, char *argv[])
{
    // Qt's screens only for a picture per monitor: one picture starts as light as the setters it is timed
    // with.
    const bool parEcran = argc > 3;
    std::unique_ptr<QCoreApplication> application(parEcran ? new QGuiApplication(argc, argv)
                                                           : new QCoreApplication(argc, argv));
    const QStringList arguments = QCoreApplication::arguments();
    bool nombre = true;
    const int position = arguments.size() > 2 ? arguments.at(2).toInt(&nombre) : 0;
    if (arguments.size() < 2 || !nombre) {
        QTextStream(stderr)
            << "usage: appliquerx11 <picture> [position 1..5 [picture of the next monitor...]]\n";
        return 2;
    }
    BureauX11 bureau;
    if (const std::optional<Disposition> disposition = dispositionDeNumero(position))
        bureau.enregistrerDisposition(*disposition);
    QEventLoop boucle;
    QObject::connect(&bureau, &Bureau::imageTraitee, &boucle, &QEventLoop::quit);
    QElapsedTimer chrono;
    chrono.start();
    if (parEcran)
        bureau.montrerParEcran(bureau.lireEcrans(), QStringList {arguments.at(1)} + arguments.mid(3));
    else
        bureau.montrer(arguments.at(1));
    boucle.exec();
    QTextStream(stdout) << chrono.nsecsElapsed() / 1e6 << '\n';
    return 0;
}
