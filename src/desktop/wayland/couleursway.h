#pragma once

#include <QByteArray>

/**
 * The colour that sway's configuration names for a background, "#rrggbb" or "#rrggbbaa", read from the
 * reply to GET_CONFIG: the last "output … bg" line that names one. Black when none does.
 */
QByteArray lireCouleurSway(const QByteArray &reponse);
