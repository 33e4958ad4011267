#include "desktop/dbus/bureaukde.h"
#include "desktop/dbus/bureaulxqt.h"
#include "desktop/dbus/bureauxfce.h"
#include "desktop/gio/bureaugsettings.h"
#include "desktop/wayland/bureaucalque.h"
#include "desktop/wayland/bureausway.h"
#include "desktop/x11/bureaux11.h"
#include "detection.h"

#include <utility>

namespace {
template<class B, auto... familles>
std::unique_ptr<Bureau> creer()
{
    return std::make_unique<B>(familles...);
}

std::unique_ptr<Bureau> construire(const QString &nom)
{
    using Famille = BureauGSettings::Famille;
    static const std::pair<const char *, std::unique_ptr<Bureau> (*)()> fabriques[] = {
        {"x11", creer<BureauX11>},
        {"sway", creer<BureauSway>},
        {"calque", creer<BureauCalque>},
        {"gnome", creer<BureauGSettings, Famille::Gnome>},
        {"cinnamon", creer<BureauGSettings, Famille::Cinnamon>},
        {"mate", creer<BureauGSettings, Famille::Mate>},
        {"xfce", creer<BureauXfce>},
        {"kde", creer<BureauKde>},
        {"lxqt", creer<BureauLxqt>},
    };
    for (const auto &[cle, fabrique] : fabriques) {
        if (nom == QLatin1String(cle))
            return fabrique();
    }
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
