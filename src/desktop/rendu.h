#pragma once

#include <QImage>
#include <QString>

/**
 * Decodes a picture file straight to what a screen of that size shows in the layout (1..5, anything else
 * filled): an RGB32 picture of the screen's size, black where the picture does not reach. Decodes no more
 * than shows where the format allows; null (with a log line) for a file that cannot or should not be
 * decoded. Safe to call from any thread.
 */
QImage rendrePourEcran(const QString &chemin, int position, QSize ecran);
