#include "desktop/dbus/bureaukde.h"
#include "desktop/dbus/bureaulxqt.h"
#include "desktop/dbus/bureauxfce.h"
#include "desktop/gio/bureaugsettings.h"
#include "desktop/wayland/bureaucalque.h"
#include "desktop/wayland/bureausway.h"
#include "desktop/x11/bureaux11.h"
#include "detection.h"

namespace {
std::unique_ptr<Bureau> construire(const QString &nom)
{
    if (nom == QLatin1String("x11"))
        return std::make_unique<BureauX11>();
    if (nom == QLatin1String("sway"))
        return std::make_unique<BureauSway>();
    if (nom == QLatin1String("calque"))
        return std::make_unique<BureauCalque>();
    if (nom == QLatin1String("gnome"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Gnome);
    if (nom == QLatin1String("cinnamon"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Cinnamon);
    if (nom == QLatin1String("mate"))
        return std::make_unique<BureauGSettings>(BureauGSettings::Famille::Mate);
    if (nom == QLatin1String("xfce"))
        return std::make_unique<BureauXfce>();
    if (nom == QLatin1String("kde"))
        return std::make_unique<BureauKde>();
    if (nom == QLatin1String("lxqt"))
        return std::make_unique<BureauLxqt>();
    return nullptr;
}
} // namespace

std::unique_ptr<Bureau> bureauDeSession(QString &raison, bool &voulu)
{
    const ChoixBureau choix = detecterBureau(QProcessEnvironment::systemEnvironment());
    raison = choix.raison;
    voulu = choix.raison == QLatin1String("PAPIROL2_BUREAU=nul");
    return choix.nom == QLatin1String("nul") ? nullptr : construire(choix.nom);
}
