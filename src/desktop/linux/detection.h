#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

/** The backend a session calls for, and what in the environment said so (or why none fits). */
struct ChoixBureau
{
    QString nom;
    QString raison;
};

/** Picks the backend name from the environment alone: PAPIROL2_BUREAU, XDG_CURRENT_DESKTOP, SWAYSOCK,
 * WAYLAND_DISPLAY (and swaybg in PATH), DISPLAY. */
ChoixBureau detecterBureau(const QProcessEnvironment &environnement);
