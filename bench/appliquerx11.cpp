// Shows one picture through the bare-X11 backend and exits once it is on the screen.
#include "desktop/x11/bureaux11.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool nombre = true;
    const int position = arguments.size() > 2 ? arguments.at(2).toInt(&nombre) : 0;
    if (arguments.size() < 2 || arguments.size() > 3 || !nombre) {
        QTextStream(stderr) << "usage: appliquerx11 <picture> [position 1..5]\n";
        return 2;
    }
    BureauX11 bureau;
    if (const std::optional<Disposition> disposition = dispositionDeNumero(position))
        bureau.enregistrerDisposition(*disposition);
    QEventLoop boucle;
    QObject::connect(&bureau, &Bureau::imageTraitee, &boucle, &QEventLoop::quit);
    bureau.montrer(arguments.at(1));
    boucle.exec();
    return 0;
}
