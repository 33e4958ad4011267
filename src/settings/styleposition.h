#pragma once

#include "desktop/disposition.h"

#include <QString>

#include <optional>

/** The ("WallpaperStyle", "TileWallpaper") pair that stands for a layout on Windows, and in our own stores.
 */
struct StylePapierPeint
{
    QString style;
    QString tuile;
};

/** The pair for a layout. */
StylePapierPeint styleDeDisposition(Disposition disposition);

/** The layout whose pair matches exactly; none otherwise. */
std::optional<Disposition> dispositionDeStyle(const QString &style, const QString &tuile);
