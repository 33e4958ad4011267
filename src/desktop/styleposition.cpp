#include "styleposition.h"

namespace {
struct Ligne
{
    int position;
    const char *style;
    const char *tuile;
};

constexpr Ligne table[] = {
    {1, "0", "0"}, {2, "0", "1"}, {3, "2", "0"}, {4, "6", "0"}, {5, "10", "0"},
};
} // namespace

bool styleDePosition(int position, StylePapierPeint *style)
{
    for (const Ligne &ligne : table) {
        if (ligne.position == position) {
            style->style = QString::fromLatin1(ligne.style);
            style->tuile = QString::fromLatin1(ligne.tuile);
            return true;
        }
    }
    return false;
}

int positionDeStyle(const QString &style, const QString &tuile)
{
    for (const Ligne &ligne : table) {
        if (style == QLatin1String(ligne.style) && tuile == QLatin1String(ligne.tuile))
            return ligne.position;
    }
    return 0;
}
