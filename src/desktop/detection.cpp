#include "detection.h"

#include <QHash>

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
    };
    return connus.value(entree.trimmed().toLower());
}
} // namespace

QStringList nomsBureaux()
{
    return {QStringLiteral("x11"),  QStringLiteral("gnome"), QStringLiteral("cinnamon"),
            QStringLiteral("mate"), QStringLiteral("xfce"),  QStringLiteral("kde"),
            QStringLiteral("lxqt"), QStringLiteral("sway"),  QStringLiteral("nul")};
}

ChoixBureau detecterBureau(const QProcessEnvironment &environnement)
{
    const QString force = environnement.value(QStringLiteral("PAPIROL2_BUREAU")).trimmed().toLower();
    if (!force.isEmpty()) {
        if (nomsBureaux().contains(force))
            return {force, QStringLiteral("PAPIROL2_BUREAU=%1").arg(force)};
        return {QStringLiteral("nul"), QStringLiteral("PAPIROL2_BUREAU=%1 names no backend here").arg(force)};
    }
    const QString session = environnement.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
    for (const QString &entree : session.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString nom = nomPourSession(entree);
        if (!nom.isEmpty())
            return {nom, QStringLiteral("XDG_CURRENT_DESKTOP=%1").arg(session)};
    }
    if (!environnement.value(QStringLiteral("SWAYSOCK")).isEmpty())
        return {QStringLiteral("sway"), QStringLiteral("SWAYSOCK is set")};
    // Under another Wayland compositor DISPLAY names its Xwayland, whose root window nobody sees.
    if (!environnement.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return {QStringLiteral("nul"), QStringLiteral("this Wayland compositor is not a supported desktop")};
    if (!environnement.value(QStringLiteral("DISPLAY")).isEmpty())
        return {QStringLiteral("x11"), QStringLiteral("DISPLAY is set")};
    return {QStringLiteral("nul"), QStringLiteral("no supported desktop was found in this session")};
}
