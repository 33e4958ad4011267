// Drives the desktop backend once from a shell, so each real desktop can be checked by what it then draws.
#include "desktop/bureau.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    int position = 0;
    QString image;
    bool valide = arguments.size() <= 3;
    while (valide && !arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--position") && !arguments.isEmpty() && position == 0)
            position = arguments.takeFirst().toInt(&valide);
        else if (!argument.startsWith(QLatin1String("--")) && image.isEmpty() && arguments.isEmpty())
            image = argument;
        else
            valide = false;
    }
    if (!valide || (position == 0 && image.isEmpty())) {
        QTextStream(stderr) << "usage: appliquer [--position 1..5] [picture]\n";
        return 2;
    }

    std::unique_ptr<Bureau> bureau = creerBureau();
    const QString demande = qEnvironmentVariable("PAPIROL2_BUREAU").trimmed().toLower();
    // A family with no backend falls back to "nul", which would pass for a desktop that ignores us.
    if (bureau->nom() == QLatin1String("nul") && !demande.isEmpty() && demande != QLatin1String("nul")) {
        QTextStream(stderr) << "appliquer: no backend for PAPIROL2_BUREAU=" << demande << '\n';
        return 3;
    }
    if (const std::optional<Disposition> disposition = dispositionDeNumero(position))
        bureau->enregistrerDisposition(*disposition);
    // The desktop runs in another folder: a relative name would mean something else there.
    if (!image.isEmpty())
        bureau->montrer(QFileInfo(image).absoluteFilePath());
    if (!bureau->attendre(10000)) {
        QTextStream(stderr) << "appliquer: the desktop did not finish within 10 s\n";
        return 1;
    }
    return 0;
}
