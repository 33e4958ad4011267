#pragma once

#include <QString>

/** The ("WallpaperStyle", "TileWallpaper") pair that stands for a layout on Windows. */
struct StylePapierPeint
{
    QString style;
    QString tuile;
};

/** The pair for position 1..5; false for any other number. */
bool styleDePosition(int position, StylePapierPeint *style);

/** The position whose pair matches exactly, or 0. */
int positionDeStyle(const QString &style, const QString &tuile);
