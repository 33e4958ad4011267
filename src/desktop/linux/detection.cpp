#include "detection.h"

#include <QDir>
#include <QHash>
#include <QStandardPaths>

namespace {
QString nomPourSession(const QString &entree)
{
    // Sessions built on GNOME's shell or settings keep its background keys.
    static const QHash<QString, QString> connus = {
        {QStringLiteral("gnome"), QStringLiteral("gnome")},
        {QStringLiteral("gnome-classic"), QStringLiteral("gnome")},
        {QStringLiteral("gnome-flashback"), QStringLiteral("gnome")},
        {QStringLiteral("ubuntu"), QStringLiteral("gnome")},
        {QStringLiteral("unity"), QStringLiteral("gnome")},
        {QStringLiteral("budgie"), QStringLiteral("gnome")},
        {QStringLiteral("budgie-desktop"), QStringLiteral("gnome")},
        {QStringLiteral("pantheon"), QStringLiteral("gnome")},
        {QStringLiteral("x-cinnamon"), QStringLiteral("cinnamon")},
        {QStringLiteral("cinnamon"), QStringLiteral("cinnamon")},
        {QStringLiteral("mate"), QStringLiteral("mate")},
        {QStringLiteral("xfce"), QStringLiteral("xfce")},
        {QStringLiteral("kde"), QStringLiteral("kde")},
        {QStringLiteral("lxqt"), QStringLiteral("lxqt")},
        {QStringLiteral("sway"), QStringLiteral("sway")},
        // Compositors with a background layer and nothing of their own to fill it.
        {QStringLiteral("hyprland"), QStringLiteral("calque")},
        {QStringLiteral("river"), QStringLiteral("calque")},
        {QStringLiteral("wayfire"), QStringLiteral("calque")},
        {QStringLiteral("labwc"), QStringLiteral("calque")},
        {QStringLiteral("niri"), QStringLiteral("calque")},
        {QStringLiteral("dwl"), QStringLiteral("calque")},
        {QStringLiteral("wlroots"), QStringLiteral("calque")},
    };
    return connus.value(entree.trimmed().toLower());
}

// The backend names PAPIROL2_BUREAU accepts on this kind of system.
QStringList nomsBureaux()
{
    return {QStringLiteral("x11"),  QStringLiteral("gnome"), QStringLiteral("cinnamon"),
            QStringLiteral("mate"), QStringLiteral("xfce"),  QStringLiteral("kde"),
            QStringLiteral("lxqt"), QStringLiteral("sway"),  QStringLiteral("calque"),
            QStringLiteral("nul")};
}
} // namespace

ChoixBureau detecterBureau(const QProcessEnvironment &environnement)
{
    const QString force = environnement.value(QStringLiteral("PAPIROL2_BUREAU")).trimmed().toLower();
    if (!force.isEmpty()) {
        if (nomsBureaux().contains(force))
            return {force, QStringLiteral("PAPIROL2_BUREAU=%1").arg(force)};
        return {QStringLiteral("nul"), QStringLiteral("PAPIROL2_BUREAU=%1 names no backend here").arg(force)};
    }
    const QString session = environnement.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
    // Looked up in the PATH given: an empty list would make Qt look in its own.
    const QStringList chemins
        = environnement.value(QStringLiteral("PATH")).split(QDir::listSeparator(), Qt::SkipEmptyParts);
    const bool avecSwaybg
        = !chemins.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("swaybg"), chemins).isEmpty();
    for (const QString &entree : session.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString nom = nomPourSession(entree);
        if (nom == QLatin1String("calque") && !avecSwaybg)
            return {QStringLiteral("nul"),
                    QStringLiteral("XDG_CURRENT_DESKTOP=%1 needs swaybg: install it").arg(session)};
        if (!nom.isEmpty())
            return {nom, QStringLiteral("XDG_CURRENT_DESKTOP=%1").arg(session)};
    }
    if (!environnement.value(QStringLiteral("SWAYSOCK")).isEmpty())
        return {QStringLiteral("sway"), QStringLiteral("SWAYSOCK is set")};
    // Under another Wayland compositor DISPLAY names its Xwayland, whose root window nobody sees.
    if (!environnement.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()) {
        if (avecSwaybg)
            return {QStringLiteral("calque"), QStringLiteral("a Wayland session with swaybg installed")};
        return {QStringLiteral("nul"),
                QStringLiteral("this Wayland compositor is not a supported desktop: install swaybg if it "
                               "has a background layer")};
    }
    if (!environnement.value(QStringLiteral("DISPLAY")).isEmpty())
        return {QStringLiteral("x11"), QStringLiteral("DISPLAY is set")};
    return {QStringLiteral("nul"), QStringLiteral("no supported desktop was found in this session")};
}
